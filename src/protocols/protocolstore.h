#pragma once
// ProtocolStore: the protocols folder and what goes into it: which names are fetched and under
// what local name, the check that a body is a whole protocol, and the road from a request to a
// saved file.
#include <QByteArray>
#include <QString>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

namespace ProtocolStore {

// The folder text as an absolute path: "~" and "~/..." are the home folder, any other relative
// path lies under it. Empty stays empty: no folder chosen.
QString folderPath(const QString& text);

// The last segment of url's fully decoded path, and whether it is a plain protocol's name: it
// ends in ".xlsx" in any case, does not begin with "." and holds no control character. Only
// such a name is requested and written, so the device can plant neither a start-up file nor a
// name that could reach beyond the folder.
bool protocolName(const QUrl& url, QString* name);
// protocolName(), with the reason for a refused name in the record.
bool requestableName(const QUrl& url, QString* name);
// The name as a message box shows it: a control character as U+FFFD, so the box keeps its lines.
QString shownName(const QString& name);

// True when the body is a whole ZIP file, as every .xlsx is: it begins with a local file
// header, and its last End of Central Directory record (or its ZIP64 record) names a central
// directory that begins with a central file header and ends where that record begins. A body
// cut anywhere fails, even right after a ZIP stored inside it. read(pos, n) gives up to n bytes
// at pos of a body of `size` bytes.
bool isWholeProtocol(const std::function<QByteArray(qint64, qint64)>& read, qint64 size);
bool isWholeProtocol(const QByteArray& body);

// Writes data as folder/name through an AtomicFile; false for an empty folder.
bool save(const QString& folder, const QString& name, const QByteArray& data);

// Requests url for the folder, its body going to a hidden file there as it arrives. Null, with
// the save error shown, when the folder cannot take the file; the name must have passed
// protocolName() before.
QNetworkReply* fetch(QNetworkAccessManager* manager, const QUrl& url, const QString& folderText);

enum class Outcome
{
    Saved,
    LoadFailed, // nothing whole arrived; the caller says so in its own words
    SaveFailed  // already reported
};

// The one road from a finished reply of fetch() to the folder (read afresh): its body takes the
// protocol's place only when it arrived whole and is a whole protocol, and its hidden file goes
// at once otherwise. A failed write is reported here; name and path receive the local name and
// the written file.
Outcome saveReply(QNetworkReply* reply, const QString& folderText, QString* name = nullptr,
                  QString* path = nullptr);

} // namespace ProtocolStore
