#pragma once
// RecordingHandler: takes what the server reader reports, for the tests, the fuzzer and the
// benchmarks: pixels into an image of 5-6-5 pixels, and a letter for each message read.
#include "remote/servermessagehandler.h"

#include <QImage>

class ServerReader;

class RecordingHandler : public ServerMessageHandler
{
public:
    explicit RecordingHandler(QImage* image) : image(image) {}

    int bytesPerPixel() const override { return 2; }
    void dataRect(const rfb::Rectangle& rect, int firstRow, int rows, const char* pixels) override
    {
        rfb::storeRows(*image, rect, firstRow, rows, pixels);
    }
    void framebufferUpdateEnd() override { ++updates; }
    void setColourMapEntries(int, int) override { ++others; }
    void bell() override { ++others; }
    void serverCutText(const QByteArray& text) override
    {
        cutText = text;
        ++others;
    }

    // Reads one message: U an update, O another message, L the stream lost.
    char read(ServerReader& reader);

    QImage* image;
    int updates = 0;
    int others = 0;
    QByteArray cutText;
};
