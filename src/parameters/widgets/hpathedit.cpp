#include "parameters/widgets/hpathedit.h"

#include "parameters/parametrpath.h"
#include "shell/hbutton.h"

#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>

namespace {

QString nativeChooser(QWidget* parent, bool directory, const QString& title, const QString& start,
                      const QString& filter)
{
    if (directory)
        return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
    return QFileDialog::getOpenFileName(parent, title, start, filter, nullptr,
                                        QFileDialog::Options());
}

HPathEdit::Chooser activeChooser = nativeChooser;

} // namespace

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
    // The chooser runs its own event loop, in which this widget may be destroyed.
    const QPointer<HPathEdit> alive(this);
    QString chosen;
    if (parametr->testFlag(AltEditor)) {
        chosen = activeChooser(this, true, tr("Выбор дериктории"), edit->text(), QString());
    } else {
        const QStringList filters = parametr->filters();
        const QString filter = QLatin1Char('(') +
                               (filters.isEmpty() ? QStringLiteral("*") : filters.first()) +
                               QLatin1Char(')');
        chosen = activeChooser(this, false, tr("Выбор файла"), edit->text(), filter);
    }
    if (alive && !chosen.isEmpty())
        edit->setText(chosen);
}

void HPathEdit::setChooser(Chooser chooser)
{
    activeChooser = chooser ? chooser : nativeChooser;
}
