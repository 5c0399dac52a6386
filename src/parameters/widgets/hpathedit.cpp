#include "parameters/widgets/hpathedit.h"

#include "parameters/parametrpath.h"
#include "shell/hbutton.h"

#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLineEdit>

HPathEdit::HPathEdit(QWidget* parent) : QWidget(parent)
{
    edit = new QLineEdit(this);
    edit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    button = new HButton(tr("Выбрать..."), this);
    auto* box = new QHBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->addWidget(edit);
    box->addWidget(button);
    onFontChanged();
    connect(button, SIGNAL(clicked(bool)), this, SLOT(onSelectButtonPressed()));
}

void HPathEdit::onFontChanged()
{
    button->setFixedWidth(QFontMetrics(font()).horizontalAdvance(button->text()) + 20);
}

void HPathEdit::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        onFontChanged();
    QWidget::changeEvent(event);
}

void HPathEdit::onSelectButtonPressed()
{
    if (!parametr)
        return;
    QString chosen;
    if (parametr->testFlag(AltEditor)) {
        chosen = chooseDirectory(tr("Выбор дериктории"), edit->text());
    } else {
        const QStringList filters = parametr->filters();
        const QString filter = QLatin1Char('(') +
                               (filters.isEmpty() ? QStringLiteral("*") : filters.first()) +
                               QLatin1Char(')');
        chosen = chooseFile(tr("Выбор файла"), edit->text(), filter);
    }
    if (!chosen.isEmpty())
        edit->setText(chosen);
}

QString HPathEdit::chooseDirectory(const QString& title, const QString& start)
{
    return QFileDialog::getExistingDirectory(this, title, start, QFileDialog::ShowDirsOnly);
}

QString HPathEdit::chooseFile(const QString& title, const QString& start, const QString& filter)
{
    return QFileDialog::getOpenFileName(this, title, start, filter, nullptr,
                                        QFileDialog::Options());
}
