#pragma once
// MessageHandler: the one way to tell the operator something, from any thread.
#include <QObject>
#include <QString>

class MessageHandler : public QObject
{
    Q_OBJECT
public:
    explicit MessageHandler(QObject* parent = nullptr);
    static MessageHandler* instance();

    static void showInformation(const QString& text);
    static void showWarning(const QString& text);
    static void showCritical(const QString& text);
    static void showStatus(const QString& text);

signals:
    void showMessageSignal(QString text, int type);
    void showStatusSignal(QString text, int type);

public slots:
    void showMessageSlot(QString text, int type);
    void showStatusSlot(QString text, int type);

private:
    static MessageHandler* self;
};
