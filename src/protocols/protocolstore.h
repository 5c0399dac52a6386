#pragma once
// ProtocolStore: the protocols folder and what goes into it: the local name a download gets,
// the check that a body is a whole protocol, and the atomic save.
#include <QByteArray>
#include <QString>

class QNetworkReply;
class QUrl;

namespace ProtocolStore {

// The folder text as an absolute path: "~" and "~/..." are the home folder, any other relative
// path lies under it. Empty stays empty: no folder chosen.
QString folderPath(const QString& text);

// The last segment of url's fully decoded path. False when it is empty, "." or "..", or holds a
// control character, i.e. when it could name anything but a plain file inside the folder.
bool localName(const QUrl& url, QString* name);

// True when the body ends as every .xlsx (a ZIP container) ends, with its End of Central
// Directory record; a body cut short anywhere, in whatever framing, does not.
bool isWholeProtocol(const QByteArray& body);

// Writes data as folder/name, creating the folder with its missing parents; false for an empty
// folder. A new or plain file is replaced atomically, keeping its owner, group and mode, so a
// failed write leaves any earlier copy untouched; where such a replacement cannot keep them or is
// refused, the file is written in place as a direct open would. A read-only one is refused, and
// a linked one is written through.
bool save(const QString& folder, const QString& name, const QByteArray& data);

enum class Outcome
{
    Saved,
    LoadFailed, // nothing whole arrived; the caller says so in its own words
    SaveFailed  // already reported
};

// The one road from a finished protocol reply to the folder: its body is saved only when it
// arrived whole and is a whole protocol, under a name that is a file name. A refused name or a
// failed write is reported here; name and path receive the local name and the written file.
Outcome saveReply(QNetworkReply* reply, const QString& folderText, QString* name = nullptr,
                  QString* path = nullptr);

} // namespace ProtocolStore
