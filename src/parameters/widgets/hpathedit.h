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

public slots:
    void onFontChanged();
    void onSelectButtonPressed();

protected:
    void changeEvent(QEvent* event) override;
    // The native choosers block; kept apart so they can be replaced where no desktop exists.
    virtual QString chooseDirectory(const QString& title, const QString& start);
    virtual QString chooseFile(const QString& title, const QString& start, const QString& filter);

private:
    QLineEdit* edit;
    HButton* button;
    ParametrPath* parametr = nullptr;
};
