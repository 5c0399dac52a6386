// ProtocolLibrary: the folder of measurement protocols the device publishes, and its listing.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <memory>

class QTemporaryDir;

class ProtocolLibrary
{
public:
    // An empty folder means the built-in set, generated into a temporary folder.
    explicit ProtocolLibrary(const QString& folder);
    ~ProtocolLibrary();
    bool isValid() const { return !dir.isEmpty(); }
    QString errorString() const { return error; }
    QString folder() const { return dir; }
    // Published files, in listing order: regular *.xlsx files whose names survive the link
    // markup and a round trip through the download path unchanged.
    QStringList fileNames() const;
    // Absolute path of a published file, or empty.
    QString filePath(const QString& name) const;
    QByteArray listingHtml() const;
    // The page the device publishes for these names: a link to "/protocols/" + each name, and
    // its size where one is given. The test peers serve the same page.
    static QByteArray listingPage(const QStringList& names, const QList<qint64>& sizes = {});

    static bool isPublishable(const QString& name);
    static QStringList builtInNames();
    static QByteArray makeProtocol(int number, const QDate& date, const QString& operatorName,
                                   bool calibration);

private:
    bool generateBuiltIn();

    std::unique_ptr<QTemporaryDir> temp;
    QString dir;
    QString error;
};
