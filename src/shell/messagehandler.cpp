#include "shell/messagehandler.h"

#include "shell/statusframe.h"

#include <QMessageBox>

MessageHandler* MessageHandler::self = nullptr;

MessageHandler::MessageHandler(QObject* parent) : QObject(parent)
{
    self = this;
    // Automatic connections: direct on the GUI thread, queued from a worker, so a
    // worker never waits for the operator to close a box.
    connect(this, SIGNAL(showMessageSignal(QString, int)), this,
            SLOT(showMessageSlot(QString, int)));
    connect(this, SIGNAL(showStatusSignal(QString, int)), this, SLOT(showStatusSlot(QString, int)));
}

MessageHandler* MessageHandler::instance()
{
    return self;
}

void MessageHandler::showInformation(const QString& text)
{
    if (MessageHandler* handler = instance())
        emit handler->showMessageSignal(text, 1);
}

void MessageHandler::showWarning(const QString& text)
{
    if (MessageHandler* handler = instance())
        emit handler->showMessageSignal(text, 2);
}

void MessageHandler::showCritical(const QString& text)
{
    if (MessageHandler* handler = instance())
        emit handler->showMessageSignal(text, 3);
}

void MessageHandler::showStatus(const QString& text)
{
    // Before start-up has built the handler there is nobody to tell; drop it.
    if (MessageHandler* handler = instance())
        emit handler->showStatusSignal(text, 0);
}

void MessageHandler::showMessageSlot(QString text, int type)
{
    QMessageBox box;
    box.setWindowTitle(tr("Сообщение АРМ СОЛМИР-3"));
    // Texts may carry device-supplied names and reasons: never interpret them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon(static_cast<QMessageBox::Icon>(type));
    box.exec();
}

void MessageHandler::showStatusSlot(QString text, int type)
{
    Q_UNUSED(type)
    if (StatusFrame* frame = StatusFrame::instance())
        frame->setStatus(text);
}
