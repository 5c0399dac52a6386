#include "parameters/widgets/prfield.h"

#include "parameters/habstractparametr.h"
#include "parameters/widgets/editfield.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>

namespace {
constexpr int RowMargin = 2;
constexpr int RowSpacing = 2;
const QString UnitsSeparator = QStringLiteral(", ");
} // namespace

PrField::PrField(HAbstractParametr* parametr, QWidget* parent, int layout) : QWidget(parent)
{
    build(parametr, layout);
}

PrField::PrField(HAbstractParametr* parametr, int id, QWidget* parent, int layout)
    : QWidget(parent), rowId(id)
{
    build(parametr, layout);
}

PrField::PrField(const QString& caption, QWidget* parent) : QWidget(parent), flagSet(MultiField)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(RowMargin, RowMargin, RowMargin, RowMargin);
    grid->setSpacing(RowSpacing);
    captionLabel = new QLabel(caption, this);
    grid->addWidget(captionLabel, 0, 0);
}

void PrField::build(HAbstractParametr* parametr, int layout)
{
    single = new EditField(parametr, this);
    connect(single, SIGNAL(changed()), this, SIGNAL(changed()));
    QBoxLayout* box = nullptr;
    if (layout == LabelAbove)
        box = new QVBoxLayout(this);
    else if (layout == LabelLeft || layout == NoLabel)
        box = new QHBoxLayout(this);
    if (!box)
        return;
    box->setContentsMargins(RowMargin, RowMargin, RowMargin, RowMargin);
    box->setSpacing(RowSpacing);
    if (layout != NoLabel) {
        captionLabel = new QLabel(parametr ? parametr->caption() : QString(), this);
        box->addWidget(captionLabel);
    }
    box->addWidget(single);
}

void PrField::addParametr(HAbstractParametr* parametr)
{
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (!testFlag(MultiField) || !grid)
        return;
    auto* field = new EditField(parametr, this);
    several.append(field);
    connect(field, SIGNAL(changed()), this, SIGNAL(changed()));
    grid->addWidget(field, 1, grid->columnCount());
    grid->removeWidget(captionLabel);
    grid->addWidget(captionLabel, 0, 0, 1, grid->columnCount());
}

void PrField::updateEditors()
{
    if (testFlag(MultiField)) {
        for (EditField* field : qAsConst(several))
            field->rebuild();
    } else if (single) {
        single->rebuild();
    }
}

void PrField::setFlag(quint8 mask, bool on)
{
    if (on)
        flagSet |= mask;
    else
        flagSet &= static_cast<quint8>(~mask);
}

void PrField::setUnits(const QString& text)
{
    if (!captionLabel)
        return;
    QString caption = captionLabel->text();
    if (testFlag(UnitsShown)) {
        const int cut = caption.lastIndexOf(UnitsSeparator);
        if (cut >= 0)
            caption.truncate(cut);
    } else {
        setFlag(UnitsShown, true);
    }
    captionLabel->setText(caption + UnitsSeparator + text);
}

void PrField::setUnitsFrom(HAbstractParametr* parametr)
{
    if (parametr)
        setUnits(parametr->valueText());
}

void PrField::setEditorHeight(int h)
{
    if (!single)
        return;
    single->setFixedHeight(h);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
}
