#include "parameters/widgets/fieldbuilder.h"

#include "parameters/widgets/prfield.h"

#include <QByteArray>
#include <QLayout>
#include <QPointer>

namespace {

// Guarded, so a container or receiver that died in between is never touched.
QPointer<QWidget> container;
QPointer<QObject> receiver;
QByteArray receiverMember;

void place(PrField* row)
{
    if (container && container->layout())
        container->layout()->addWidget(row);
}

void wire(PrField* row, int id)
{
    row->setId(id);
    if (receiver && !receiverMember.isEmpty())
        QObject::connect(row, SIGNAL(changed()), receiver.data(), receiverMember.constData());
}

QWidget* spacer(QWidget* parent, QSizePolicy::Policy horizontal, QSizePolicy::Policy vertical)
{
    auto* widget = new QWidget(parent);
    widget->setMinimumSize(0, 0);
    widget->setSizePolicy(horizontal, vertical);
    return widget;
}

} // namespace

void setFieldContainer(QWidget* widget)
{
    container = widget;
}

void setFieldReceiver(QObject* object, const char* member)
{
    receiver = object;
    receiverMember = member ? QByteArray(member) : QByteArray();
}

void resetFieldReceiver()
{
    receiver = nullptr;
    receiverMember.clear();
}

PrField* addField(HAbstractParametr* parametr)
{
    auto* row = new PrField(parametr, container.data(), PrField::LabelAbove);
    place(row);
    return row;
}

PrField* addField(HAbstractParametr* parametr, int id)
{
    PrField* row = addField(parametr);
    wire(row, id);
    return row;
}

PrField* addPairField(const QString& caption, HAbstractParametr* first, HAbstractParametr* second)
{
    auto* row = new PrField(caption, container.data());
    row->addParametr(first);
    row->addParametr(second);
    place(row);
    return row;
}

PrField* addPairField(const QString& caption, HAbstractParametr* first, HAbstractParametr* second,
                      int id)
{
    PrField* row = addPairField(caption, first, second);
    wire(row, id);
    return row;
}

void updateParametrFields(QWidget* widget)
{
    if (!widget)
        return;
    for (QObject* child : widget->children()) {
        if (auto* row = qobject_cast<PrField*>(child))
            row->updateEditors();
        else if (child->isWidgetType())
            updateParametrFields(static_cast<QWidget*>(child));
    }
}

QWidget* newVSpacer(QWidget* parent)
{
    return spacer(parent, QSizePolicy::Maximum, QSizePolicy::Expanding);
}

QWidget* newHSpacer(QWidget* parent)
{
    return spacer(parent, QSizePolicy::Expanding, QSizePolicy::Maximum);
}

QWidget* newSpacer(QWidget* parent)
{
    return spacer(parent, QSizePolicy::Expanding, QSizePolicy::Expanding);
}
