#pragma once
// EditField: builds the editor that matches a parameter's kind and writes every edit back into it.
#include <QWidget>

class QHBoxLayout;
class QValidator;
class HAbstractParametr;

class EditField : public QWidget
{
    Q_OBJECT
public:
    explicit EditField(QWidget* parent = nullptr);
    EditField(HAbstractParametr* parametr, QWidget* parent);

    void setParametr(HAbstractParametr* parametr);
    HAbstractParametr* parametr() const { return bound; }
    bool needsRebuild() const;
    void rebuild();
    void setEditorPalette(const QPalette& palette);
    // Null for kinds without an editor.
    QWidget* editor() const { return editorWidget; }

    // The octet accepts 0..255 with up to three digits, leading zeros included.
    static QString ipv4Pattern();

signals:
    void changed();

public slots:
    void onEdit();

private:
    void dropEditor();
    void buildEditor(HAbstractParametr* p);
    void fill(HAbstractParametr* p);
    QValidator* ipv4Validator();

    QWidget* editorWidget = nullptr;
    HAbstractParametr* bound = nullptr;
    QHBoxLayout* layout;
    int builtType = -1;
    // The editor signal that stands for a user edit; cut while the editor is being filled.
    const char* editorSignal = nullptr;
    QObject* signalSource = nullptr;
    QValidator* validator = nullptr;
};
