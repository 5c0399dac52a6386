#include "recordinghandler.h"

#include "remote/serverreader.h"

char RecordingHandler::read(ServerReader& reader)
{
    const int before = updates;
    if (!reader.readServerMessage(*this))
        return 'L';
    return updates > before ? 'U' : 'O';
}
