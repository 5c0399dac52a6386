#include "protocollibrary.h"

#include "httprequest.h"
#include "xlsxwriter.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

ProtocolLibrary::ProtocolLibrary(const QString& folder)
{
    if (folder.isEmpty()) {
        if (!generateBuiltIn())
            dir.clear();
        return;
    }
    const QFileInfo info(folder);
    if (!info.isDir()) {
        error = QStringLiteral("protocols folder %1 does not exist").arg(folder);
        return;
    }
    dir = info.absoluteFilePath();
}

ProtocolLibrary::~ProtocolLibrary() = default;

QStringList ProtocolLibrary::builtInNames()
{
    return {QStringLiteral("calibration_2026-11-28.xlsx"),
            QStringLiteral("Протокол_0417_2026-12-01.xlsx"),
            QStringLiteral("Протокол_0418_2026-12-02.xlsx"),
            QStringLiteral("Протокол_0419_2026-12-02.xlsx"),
            QStringLiteral("P-0420_2026-12-03.xlsx"),
            QStringLiteral("P-0421_2026-12-03.xlsx"),
            QStringLiteral("Протокол_0422_2026-12-04.xlsx"),
            QStringLiteral("Протокол_0423_2026-12-05.xlsx"),
            QStringLiteral("Протокол 0424 (повтор) 2026-12-05.xlsx"),
            QStringLiteral("Протокол_0425_2026-12-08.xlsx"),
            QStringLiteral("calibration_2026-12-09.xlsx"),
            QStringLiteral("Протокол_0426_2026-12-10.xlsx")};
}

bool ProtocolLibrary::generateBuiltIn()
{
    temp =
        std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/solmir3-sim-XXXXXX"));
    if (!temp->isValid()) {
        error = QStringLiteral("cannot create a temporary folder: %1").arg(temp->errorString());
        return false;
    }
    dir = temp->path();
    const QStringList operators = {QStringLiteral("Иванов И. И."), QStringLiteral("Петрова А. С."),
                                   QStringLiteral("Сидоров К. В.")};
    const QRegularExpression pattern(QStringLiteral("(\\d{4})?\\D*(\\d{4}-\\d{2}-\\d{2})"));
    int index = 0;
    for (const QString& name : builtInNames()) {
        const QRegularExpressionMatch m = pattern.match(name);
        const bool calibration = name.startsWith(QLatin1String("calibration"));
        const int number = m.captured(1).isEmpty() ? 900 + index : m.captured(1).toInt();
        const QDate date = QDate::fromString(m.captured(2), Qt::ISODate);
        QFile file(dir + '/' + name);
        const QByteArray bytes =
            makeProtocol(number, date, operators.at(index % operators.size()), calibration);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            error = QStringLiteral("cannot write %1").arg(file.fileName());
            return false;
        }
        ++index;
    }
    return true;
}

QByteArray ProtocolLibrary::makeProtocol(int number, const QDate& date, const QString& operatorName,
                                         bool calibration)
{
    // Seeded by the protocol number, so that a protocol reads the same on every start.
    QRandomGenerator random(static_cast<quint32>(number) * 2654435761u + 17u);
    XlsxWriter sheet(calibration ? QStringLiteral("Калибровка") : QStringLiteral("Протокол"));
    sheet.setColumnWidths({10, 9, 16, 11, 9, 12, 12, 12});
    sheet.addRow({calibration
                      ? QStringLiteral("Протокол калибровки № %1").arg(number, 4, 10, QChar('0'))
                      : QStringLiteral("Протокол измерений № %1").arg(number, 4, 10, QChar('0'))},
                 true);
    sheet.addRow({QStringLiteral("Устройство:"), QStringLiteral("СОЛМИР-3, зав. № 3-1024")});
    sheet.addRow({QStringLiteral("Оператор:"), operatorName});
    sheet.addRow({QStringLiteral("Дата:"), date.toString(QStringLiteral("dd.MM.yyyy"))});
    sheet.addRow({});
    sheet.addRow({QStringLiteral("Время"), QStringLiteral("Канал"), QStringLiteral("Величина"),
                  QStringLiteral("Значение"), QStringLiteral("Ед. изм."),
                  QStringLiteral("Нижний предел"), QStringLiteral("Верхний предел"),
                  QStringLiteral("Заключение")},
                 true);
    struct Quantity
    {
        const char* name;
        const char* unit;
        double nominal;
        double tolerance;
    };
    const Quantity quantities[] = {{"Напряжение", "В", 12.0, 0.6},
                                   {"Ток", "А", 0.48, 0.03},
                                   {"Частота", "Гц", 50.0, 0.5},
                                   {"Сопротивление изоляции", "МОм", 520.0, 20.0}};
    QTime time(9, 0, 0);
    int failures = 0;
    const int rows = 24;
    for (int i = 0; i < rows; ++i) {
        const Quantity& q = quantities[i % 4];
        const double spread = (random.generateDouble() * 2.0 - 1.0) * q.tolerance * 1.15;
        const double value = q.nominal + spread;
        const double low = q.nominal - q.tolerance;
        const double high = q.nominal + q.tolerance;
        const bool pass = value >= low && value <= high;
        failures += pass ? 0 : 1;
        time = time.addSecs(15 + static_cast<int>(random.bounded(45)));
        sheet.addRow({time.toString(QStringLiteral("HH:mm:ss")), 1 + (i / 4) % 2,
                      QString::fromUtf8(q.name), qRound(value * 1000.0) / 1000.0,
                      QString::fromUtf8(q.unit), low, high,
                      pass ? QStringLiteral("Годен") : QStringLiteral("Не годен")});
    }
    sheet.addRow({});
    sheet.addRow({QStringLiteral("Итог:"), failures == 0
                                               ? QStringLiteral("Изделие годно")
                                               : QStringLiteral("Отклонений: %1").arg(failures)},
                 true);
    return sheet.toXlsx();
}

bool ProtocolLibrary::isPublishable(const QString& name)
{
    if (!name.endsWith(QLatin1String(".xlsx")) || name.size() <= 5)
        return false;
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c == '<' || c == '>' || c == '"' || c == '&')
            return false;
    }
    return HttpRequest::protocolName(QStringLiteral("/protocols/") + name) == name;
}

QStringList ProtocolLibrary::fileNames() const
{
    QStringList names;
    if (dir.isEmpty())
        return names;
    const QFileInfoList entries =
        QDir(dir).entryInfoList(QDir::Files | QDir::Readable | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& info : entries) {
        if (isPublishable(info.fileName()))
            names.append(info.fileName());
    }
    return names;
}

QString ProtocolLibrary::filePath(const QString& name) const
{
    if (dir.isEmpty() || !isPublishable(name))
        return QString();
    const QFileInfo info(dir + '/' + name);
    return info.isFile() ? info.absoluteFilePath() : QString();
}

QByteArray ProtocolLibrary::listingHtml() const
{
    const QStringList names = fileNames();
    QList<qint64> sizes;
    for (const QString& name : names)
        sizes << QFileInfo(dir + '/' + name).size();
    return listingPage(names, sizes);
}

QByteArray ProtocolLibrary::listingPage(const QStringList& names, const QList<qint64>& sizes)
{
    QByteArray html = "<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\">"
                      "<title>СОЛМИР-3 - протоколы</title></head>\n<body>\n"
                      "<h1>Протоколы измерений</h1>\n<p>Устройство СОЛМИР-3, зав. № 3-1024</p>\n"
                      "<ul>\n";
    for (int i = 0; i < names.size(); ++i) {
        html += "<li><a href=\"/protocols/" + QUrl::toPercentEncoding(names.at(i)) + "\">" +
                names.at(i).toUtf8() + "</a>";
        if (i < sizes.size())
            html += " (" + QByteArray::number((sizes.at(i) + 1023) / 1024) + " КиБ)";
        html += "</li>\n";
    }
    html += "</ul>\n</body></html>\n";
    return html;
}
