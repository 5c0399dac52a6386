#pragma once
// MessageBoxWatcher: records every QMessageBox that opens while it lives and closes it, so
// tests can assert which boxes the operator would have seen (title, text, icon, thread).
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

namespace solmirtest {

struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool onGuiThread = false;
};

class MessageBoxWatcher : public QObject
{
    Q_OBJECT
public:
    // closeBoxes false: record only; the test closes the boxes itself.
    explicit MessageBoxWatcher(bool closeBoxes = true, QObject* parent = nullptr);

    const QList<SeenBox>& boxes() const { return seen; }
    int count() const { return seen.size(); }
    QStringList texts() const;
    void clear() { seen.clear(); }
    // Waits (processing events) until at least n boxes were seen or timeoutMs passed.
    bool waitForCount(int n, int timeoutMs = 15000);

private slots:
    void poll();

private:
    QTimer timer;
    bool close;
    QList<SeenBox> seen;
    // Guarded: a box deleted between two polls must not hide a new box at the same address.
    QList<QPointer<QMessageBox>> known;
};

} // namespace solmirtest
