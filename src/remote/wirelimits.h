#pragma once
// The session's limits and paces on the wire, each named once: a change of one is a change of
// one line here.
#include <QtGlobal>

namespace wire {

// The whole screen is asked for at most this often: ten frames a second show the device's panel
// live, and an idle session costs the device almost nothing.
constexpr int paceMs = 100;
// Each field must arrive whole within this time, however its bytes trickle in; connecting and
// each write wait as long.
constexpr int fieldDeadlineMs = 10000;
// The rest of a message of unknown type is read and dropped this long, to find the stream's step
// again.
constexpr int drainMs = 1000;
// Largest screen accepted from ServerInit: the image is the one allocation the device sizes.
constexpr int maxScreenSide = 8192;
constexpr qint64 maxScreenPixels = qint64(4096) * 4096;
// No read is sized by the server: long fields arrive and leave in pieces this big.
constexpr int pieceBytes = 64 * 1024;
// Of a cut text and of the desktop's name no more than this is kept; the rest is read and
// dropped, so neither costs memory the device chooses.
constexpr int maxCutTextBytes = 64 * 1024;
constexpr int maxNameBytes = 1024;
// The GUI waits at most this long for the input queue, so that a busy worker never stalls it;
// the worker holds the queue only to swap it out.
constexpr int queueTryLockMs = 10;
// Input waiting for the worker: at most this many messages, the oldest pushed out first. Pointer
// motion has a single slot: a newer motion replaces one still queued.
constexpr int queueLength = 11;
// A release the queue could not take is tried again this often, until the device has it.
constexpr int releaseRetryMs = 10;

} // namespace wire
