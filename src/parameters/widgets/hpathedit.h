#pragma once
// HPathEdit: a path line edit with a "Выбрать..." button that opens a file or folder chooser.
#include <QWidget>

class QLineEdit;
class HButton;
class ParametrPath;

class HPathEdit : public QWidget
{
    Q_OBJECT
public:
    explicit HPathEdit(QWidget* parent = nullptr);

    // Only remembers the parameter: the owning EditField fills and reads the line edit.
    void setParametr(ParametrPath* p) { parametr = p; }
    QLineEdit* lineEdit() const { return edit; }
    HButton* selectButton() const { return button; }

    // The native choosers block in their own event loop. A desktop-less caller may put another
    // chooser in their place; null restores the native ones. An empty answer means cancelled.
    using Chooser = QString (*)(QWidget* parent, bool directory, const QString& title,
                                const QString& start, const QString& filter);
    static void setChooser(Chooser chooser);

public slots:
    void onFontChanged();
    void onSelectButtonPressed();

protected:
    void changeEvent(QEvent* event) override;

private:
    QLineEdit* edit;
    HButton* button;
    ParametrPath* parametr = nullptr;
};
