// drawicons: draws the program's runtime images (button icons, busy animation, application
// icon) and writes them as PNG files and one GIF89a animation.
//
// Usage: solmir3-drawicons <outdir> [contact-sheet.png]
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVector>
#include <QtMath>

#include <cstdio>
#include <unordered_map>
#include <vector>

namespace {

// ---- GIF89a writer ------------------------------------------------------------------------
// Qt reads GIF but cannot write it, so the animation is encoded here: one global colour table,
// a NETSCAPE2.0 block for endless looping and LZW-compressed 8-bit frames.

void putLe16(QByteArray& out, int value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

// Packs variable-width codes least significant bit first, as GIF requires.
class BitPacker
{
public:
    void put(int code, int width)
    {
        acc |= quint32(code) << bits;
        bits += width;
        while (bits >= 8) {
            bytes.append(char(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (bits > 0)
            bytes.append(char(acc & 0xFF));
        acc = 0;
        bits = 0;
        return bytes;
    }

private:
    quint32 acc = 0;
    int bits = 0;
    QByteArray bytes;
};

// LZW with 8-bit roots: clear code 256, end code 257, codes up to 12 bits, and a clear code
// whenever the table fills.
QByteArray lzwEncode(const std::vector<quint8>& indices)
{
    const int minCodeSize = 8;
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    BitPacker packer;
    std::unordered_map<int, int> table;
    int codeSize = minCodeSize + 1;
    int maxCode = endCode;
    packer.put(clearCode, codeSize);
    if (indices.empty()) {
        packer.put(endCode, codeSize);
        return packer.finish();
    }
    int current = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        const int next = indices[i];
        const int key = (current << 8) | next;
        const auto found = table.find(key);
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        packer.put(current, codeSize);
        table[key] = ++maxCode;
        if (maxCode >= (1 << codeSize))
            ++codeSize;
        if (maxCode == 4095) {
            packer.put(clearCode, codeSize);
            table.clear();
            codeSize = minCodeSize + 1;
            maxCode = endCode;
        }
        current = next;
    }
    packer.put(current, codeSize);
    packer.put(endCode, codeSize);
    return packer.finish();
}

// Splits image data into the length-prefixed sub-blocks of at most 255 bytes.
void putSubBlocks(QByteArray& out, const QByteArray& data)
{
    for (int pos = 0; pos < data.size(); pos += 255) {
        const int n = qMin(255, data.size() - pos);
        out.append(char(n));
        out.append(data.constData() + pos, n);
    }
    out.append(char(0));
}

// Frames must share one size; palette has exactly 256 entries; delay in 1/100 s.
QByteArray encodeGif(const QVector<std::vector<quint8>>& frames, int width, int height,
                     const QVector<QRgb>& palette, int delayCs)
{
    QByteArray out("GIF89a");
    putLe16(out, width);
    putLe16(out, height);
    out.append(char(0xF7)); // global table present, 8-bit colour resolution, 256 entries
    out.append(char(0));    // background index
    out.append(char(0));    // square pixels
    for (QRgb rgb : palette) {
        out.append(char(qRed(rgb)));
        out.append(char(qGreen(rgb)));
        out.append(char(qBlue(rgb)));
    }
    out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
    putLe16(out, 0); // loop for ever
    out.append(char(0));
    for (const auto& frame : frames) {
        out.append("\x21\xF9\x04", 3);
        out.append(char(0x04)); // dispose: leave in place, no transparency
        putLe16(out, delayCs);
        out.append(char(0));
        out.append(char(0));
        out.append(char(0x2C));
        putLe16(out, 0);
        putLe16(out, 0);
        putLe16(out, width);
        putLe16(out, height);
        out.append(char(0)); // no local table, not interlaced
        out.append(char(8));
        putSubBlocks(out, lzwEncode(frame));
    }
    out.append(char(0x3B));
    return out;
}

// ---- drawing helpers ----------------------------------------------------------------------

QImage canvas(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
}

QPen outline(const QColor& color, qreal width = 1.0)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A plug drawn pointing right, body from x to x+7, prongs beyond it; cable to the left.
void drawPlug(QPainter& p, qreal x, qreal y, const QColor& body)
{
    p.setPen(outline(QColor(40, 40, 40), 1.6));
    p.setBrush(Qt::NoBrush);
    QPainterPath cable;
    cable.moveTo(0.5, y + 5.5);
    cable.cubicTo(x - 2.5, y + 8.5, x - 2.5, y + 3.5, x, y + 3.5);
    p.drawPath(cable);
    p.setPen(outline(body.darker(170), 1.0));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(x, y, 6.0, 7.0), 0.8, 0.8);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 110, 110));
    p.drawRect(QRectF(x + 6.0, y + 1.0, 3.0, 1.6));
    p.drawRect(QRectF(x + 6.0, y + 4.4, 3.0, 1.6));
}

// A wall socket facing left, opening at x.
void drawSocket(QPainter& p, qreal x, qreal y, const QColor& body)
{
    p.setPen(outline(body.darker(170), 1.0));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(x, y, 5.5, 11.0), 1.0, 1.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(QRectF(x + 0.5, y + 3.0, 2.0, 1.6));
    p.drawRect(QRectF(x + 0.5, y + 6.4, 2.0, 1.6));
}

QImage drawConnect()
{
    QImage image = canvas(20);
    QPainter p(&image);
    prepare(p);
    // Plugged in: the prongs disappear into the socket.
    drawPlug(p, 8.0, 6.5, QColor(60, 170, 70));
    drawSocket(p, 14.0, 4.5, QColor(235, 235, 235));
    return image;
}

QImage drawDisconnect()
{
    QImage image = canvas(20);
    QPainter p(&image);
    prepare(p);
    drawSocket(p, 14.0, 4.5, QColor(235, 235, 235));
    drawPlug(p, 2.5, 6.5, QColor(200, 60, 50));
    // Sparks in the gap.
    p.setPen(outline(QColor(230, 150, 0), 1.2));
    p.drawLine(QPointF(12.2, 4.0), QPointF(13.0, 6.0));
    p.drawLine(QPointF(12.5, 16.0), QPointF(13.2, 14.0));
    return image;
}

QImage drawFolderOpen()
{
    QImage image = canvas(20);
    QPainter p(&image);
    prepare(p);
    const QColor back(214, 160, 40);
    const QColor front(250, 205, 80);
    p.setPen(outline(back.darker(140), 1.0));
    p.setBrush(back);
    QPainterPath rear;
    rear.moveTo(1.5, 16.5);
    rear.lineTo(1.5, 4.0);
    rear.quadTo(1.5, 3.0, 2.5, 3.0);
    rear.lineTo(6.5, 3.0);
    rear.lineTo(8.0, 4.5);
    rear.lineTo(15.5, 4.5);
    rear.quadTo(16.5, 4.5, 16.5, 5.5);
    rear.lineTo(16.5, 8.0);
    rear.lineTo(1.5, 16.5);
    p.drawPath(rear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.0, 6.0, 10.5, 5.0));
    QLinearGradient shade(0, 8, 0, 17);
    shade.setColorAt(0, front);
    shade.setColorAt(1, front.darker(115));
    p.setPen(outline(back.darker(150), 1.0));
    p.setBrush(shade);
    QPainterPath flap;
    flap.moveTo(1.5, 16.5);
    flap.lineTo(4.5, 8.5);
    flap.lineTo(19.0, 8.5);
    flap.lineTo(16.0, 16.5);
    flap.closeSubpath();
    p.drawPath(flap);
    return image;
}

QImage drawFileSave()
{
    QImage image = canvas(20);
    QPainter p(&image);
    prepare(p);
    const QColor blue(45, 95, 175);
    p.setPen(outline(blue.darker(150), 1.0));
    p.setBrush(blue);
    QPainterPath disk;
    disk.moveTo(2.5, 3.5);
    disk.lineTo(14.5, 3.5);
    disk.lineTo(17.5, 6.5);
    disk.lineTo(17.5, 17.5);
    disk.lineTo(2.5, 17.5);
    disk.closeSubpath();
    p.drawPath(disk);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(225, 230, 240));
    p.drawRect(QRectF(5.0, 3.5, 8.0, 4.5));
    p.setBrush(blue.darker(130));
    p.drawRect(QRectF(10.5, 4.3, 1.7, 3.0));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4.5, 10.5, 11.0, 7.0), 0.8, 0.8);
    // Down arrow: the file comes from the device.
    p.setBrush(QColor(30, 150, 60));
    QPolygonF arrow;
    arrow << QPointF(8.8, 9.0) << QPointF(11.2, 9.0) << QPointF(11.2, 12.8) << QPointF(13.5, 12.8)
          << QPointF(10.0, 16.8) << QPointF(6.5, 12.8) << QPointF(8.8, 12.8);
    p.drawPolygon(arrow);
    return image;
}

QImage drawExcel()
{
    QImage image = canvas(20);
    QPainter p(&image);
    prepare(p);
    const QColor green(30, 120, 70);
    // Sheet with a grid behind, green tile with a white X in front.
    p.setPen(outline(QColor(120, 120, 120), 1.0));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(6.5, 2.5, 11.0, 15.0), 1.0, 1.0);
    p.setPen(QPen(green.lighter(140), 1.0));
    for (qreal y = 6.5; y < 17.0; y += 3.0)
        p.drawLine(QPointF(11.0, y), QPointF(17.0, y));
    p.drawLine(QPointF(14.0, 3.5), QPointF(14.0, 17.0));
    p.setPen(outline(green.darker(140), 1.0));
    p.setBrush(green);
    p.drawRoundedRect(QRectF(1.5, 5.0, 10.0, 10.0), 1.2, 1.2);
    p.setPen(outline(Qt::white, 1.8));
    p.drawLine(QPointF(4.3, 7.8), QPointF(8.7, 12.2));
    p.drawLine(QPointF(8.7, 7.8), QPointF(4.3, 12.2));
    return image;
}

void drawBox(QPainter& p, const QRectF& box, bool ticked)
{
    p.setPen(outline(QColor(70, 70, 70), 1.0));
    p.setBrush(Qt::white);
    p.drawRect(box);
    if (!ticked)
        return;
    p.setPen(outline(QColor(20, 140, 40), 1.5));
    QPolygonF tick;
    tick << QPointF(box.left() + 1.0, box.center().y())
         << QPointF(box.center().x() - 0.3, box.bottom() - 1.0)
         << QPointF(box.right() + 0.8, box.top() - 0.8);
    p.drawPolyline(tick);
}

QImage drawCheckList(bool ticked)
{
    QImage image = canvas(20);
    QPainter p(&image);
    prepare(p);
    for (int row = 0; row < 3; ++row) {
        const qreal top = 2.5 + row * 6.0;
        drawBox(p, QRectF(1.5, top, 4.0, 4.0), ticked);
        p.setPen(outline(QColor(90, 90, 90), 1.4));
        p.drawLine(QPointF(9.5, top + 2.0), QPointF(18.0, top + 2.0));
    }
    if (!ticked) {
        // A red cross over the list: the ticks are removed.
        p.setPen(outline(QColor(210, 40, 40), 2.0));
        p.drawLine(QPointF(11.0, 11.0), QPointF(17.5, 17.5));
        p.drawLine(QPointF(17.5, 11.0), QPointF(11.0, 17.5));
    }
    return image;
}

// Twelve spokes; the bright one walks round one step per frame, leaving a fading trail.
QImage drawSpinnerFrame(int frame, int frames)
{
    const int size = 64;
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(QColor(70, 70, 70));
    QPainter p(&image);
    prepare(p);
    p.translate(size / 2.0, size / 2.0);
    for (int spoke = 0; spoke < frames; ++spoke) {
        const int age = (frame - spoke + frames) % frames;
        const qreal strength = 1.0 - qreal(age) / frames;
        const int level = 70 + qRound((255 - 70) * strength * strength);
        p.save();
        p.rotate(spoke * 360.0 / frames);
        p.setPen(QPen(QColor(level, level, level), 5.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -14.0), QPointF(0, -25.0));
        p.restore();
    }
    return image;
}

QImage drawAppIcon()
{
    const int size = 128;
    QImage image = canvas(size);
    QPainter p(&image);
    prepare(p);
    QLinearGradient body(0, 0, 0, size);
    body.setColorAt(0, QColor(70, 90, 120));
    body.setColorAt(1, QColor(35, 45, 65));
    p.setPen(outline(QColor(20, 25, 35), 2.0));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(6, 10, 116, 86), 10, 10);
    p.setBrush(QColor(15, 25, 20));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(16, 20, 96, 66), 4, 4);
    p.setPen(QPen(QColor(40, 70, 50), 1.0));
    for (int x = 28; x < 112; x += 12)
        p.drawLine(QPointF(x, 21), QPointF(x, 85));
    for (int y = 31; y < 86; y += 11)
        p.drawLine(QPointF(17, y), QPointF(111, y));
    QPainterPath wave;
    for (int i = 0; i <= 94; ++i) {
        const qreal x = 17 + i;
        const qreal y = 53 - 22 * qSin(i / 94.0 * 4 * M_PI) * qExp(-i / 70.0);
        if (i == 0)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(outline(QColor(90, 240, 120), 3.0));
    p.drawPath(wave);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 70, 85));
    p.drawRect(QRectF(54, 96, 20, 14));
    p.setBrush(QColor(90, 100, 115));
    p.drawRoundedRect(QRectF(30, 108, 68, 10), 4, 4);
    return image;
}

bool savePng(const QImage& image, const QString& path)
{
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

bool writeSpinner(const QString& path, QVector<QImage>& framesOut)
{
    const int count = 12;
    QVector<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette << qRgb(i, i, i);
    QVector<std::vector<quint8>> frames;
    for (int f = 0; f < count; ++f) {
        const QImage image = drawSpinnerFrame(f, count);
        std::vector<quint8> indices;
        indices.reserve(size_t(image.width() * image.height()));
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                indices.push_back(quint8(qGray(image.pixel(x, y))));
        frames << indices;
        QImage gray(image.size(), QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                gray.setPixel(x, y, palette[qGray(image.pixel(x, y))]);
        framesOut << gray;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    file.write(encodeGif(frames, 64, 64, palette, 8));
    file.close();

    // Read it back through Qt's own GIF reader: the encoder is only trusted when every frame
    // decodes to exactly the pixels that went in.
    QImageReader reader(path);
    for (int f = 0; f < count; ++f) {
        const QImage decoded = reader.read().convertToFormat(QImage::Format_RGB32);
        if (decoded != framesOut[f]) {
            std::fprintf(stderr, "GIF frame %d does not read back identically\n", f);
            return false;
        }
    }
    if (reader.loopCount() != -1) {
        std::fprintf(stderr, "GIF does not loop for ever\n");
        return false;
    }
    return true;
}

// Everything enlarged eight times on a checkered ground, to judge the pictograms by eye.
QImage contactSheet(const QVector<QImage>& icons, const QVector<QImage>& spinner, const QImage& app)
{
    const int zoom = 8;
    const int cell = 20 * zoom + 16;
    QImage sheet(cell * icons.size(), cell + 64 * 3 + 16 + 20, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    for (int y = 0; y < sheet.height(); y += 8)
        for (int x = (y / 8) % 2 * 8; x < sheet.width(); x += 16)
            p.fillRect(x, y, 8, 8, QColor(225, 225, 225));
    for (int i = 0; i < icons.size(); ++i) {
        p.drawImage(QRect(i * cell + 8, 8, 20 * zoom, 20 * zoom), icons[i]);
        p.drawImage(i * cell + 8, cell - 6 - 20, icons[i]);
    }
    for (int f = 0; f < spinner.size(); ++f)
        p.drawImage(QRect(8 + f * 70, cell + 8, 64, 64), spinner[f]);
    p.drawImage(QRect(8, cell + 80, 128, 128), app);
    return sheet;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <outdir> [contact-sheet.png]\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    struct Named
    {
        const char* name;
        QImage image;
    };
    const QVector<Named> icons = {{"connect", drawConnect()},
                                  {"disconnect", drawDisconnect()},
                                  {"folder_open", drawFolderOpen()},
                                  {"file_save", drawFileSave()},
                                  {"excel", drawExcel()},
                                  {"check_all", drawCheckList(true)},
                                  {"check_clear", drawCheckList(false)}};
    bool ok = true;
    QVector<QImage> images;
    for (const Named& icon : icons) {
        ok = savePng(icon.image, outDir + QLatin1Char('/') + QLatin1String(icon.name) +
                                     QStringLiteral(".png")) &&
             ok;
        images << icon.image;
    }
    const QImage appIcon = drawAppIcon();
    ok = savePng(appIcon, outDir + QStringLiteral("/solmir3-arm.png")) && ok;
    QVector<QImage> spinner;
    ok = writeSpinner(outDir + QStringLiteral("/load.gif"), spinner) && ok;
    if (argc >= 3)
        ok = savePng(contactSheet(images, spinner, appIcon), QString::fromLocal8Bit(argv[2])) && ok;
    return ok ? 0 : 1;
}
