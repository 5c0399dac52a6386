#include "remotescreenfixture.h"

#include "parameters/parametrip.h"
#include "parameters/settings.h"
#include "simulator/rfbserver.h"
#include "simulator/simoptions.h"

#include <QApplication>
#include <QHostAddress>
#include <QInputDialog>
#include <QtDebug>

SimOptions RemoteScreenFixture::deviceOptions(const QString& address)
{
    SimOptions options;
    options.address = QHostAddress(address);
    options.rfbPort = 5900;
    options.httpPort = 0;
    options.animate = false;
    return options;
}

std::unique_ptr<RfbServer> RemoteScreenFixture::startDevice(const SimOptions& options)
{
    auto server = std::make_unique<RfbServer>(options);
    if (!server->start()) {
        qWarning() << "simulator did not start:" << server->errorString();
        return nullptr;
    }
    return server;
}

void RemoteScreenFixture::setDeviceAddress(const QString& address)
{
    Settings::instance()->prIP->setAddress(QHostAddress(address));
}

QList<QByteArray> RemoteScreenFixture::inputMessages(const RfbServer& server)
{
    QList<QByteArray> input;
    const QList<QByteArray> all = server.clientMessages();
    for (const QByteArray& message : all) {
        if (!message.isEmpty() && (message.at(0) == 4 || message.at(0) == 5))
            input << message;
    }
    return input;
}

QInputDialog* RemoteScreenFixture::visibleInputDialog()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        auto* dialog = qobject_cast<QInputDialog*>(widget);
        if (dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}
