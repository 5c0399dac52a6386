#include "protocols/modelprotocols.h"

#include "parameters/parametrcaptions.h"
#include "parameters/parametrip.h"
#include "parameters/parametrstring.h"
#include "parameters/settings.h"
#include "protocols/downloadprogress.h"
#include "protocols/filedownloader.h"
#include "protocols/protocollisting.h"
#include "protocols/tabulonsortfilterproxymodel.h"
#include "protocols/transferguard.h"
#include "shell/logging.h"

#include <QRegExp>
#include <QUrl>

ModelProtocols* ModelProtocols::self = nullptr;

ModelProtocols::ModelProtocols(QObject* parent) : QAbstractTableModel(parent), progress(nullptr)
{
    // The search text lives only for this run; it is never registered for conf.ini.
    searchParametr = new ParametrString(&ParametrCaptions::instance()->protocolSearch, 50, 0);
    proxy = new TabulonSortFilterProxyModel(this);
    proxy->setSourceModel(this);
    proxy->setSortRole(Qt::DisplayRole);
    self = this;
}

ModelProtocols::~ModelProtocols()
{
    delete searchParametr;
}

ModelProtocols* ModelProtocols::instance()
{
    return self;
}

int ModelProtocols::rowCount(const QModelIndex&) const
{
    return items.size();
}

int ModelProtocols::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ModelProtocols::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() != 0 || index.row() < 0 || index.row() >= items.size())
        return QVariant();
    const ProtocolItem& item = items.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return item.name;
    if (role == Qt::CheckStateRole)
        return static_cast<int>(item.selected ? Qt::Checked : Qt::Unchecked);
    return QVariant();
}

QVariant ModelProtocols::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return section == 0 ? QVariant(tr("Имя протокола")) : QVariant();
    return QString::number(section + 1);
}

bool ModelProtocols::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() < 0 ||
        index.row() >= items.size())
        return false;
    items[index.row()].selected = value.toBool();
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags ModelProtocols::flags(const QModelIndex& index) const
{
    // Not user-checkable: the tab toggles the mark on a click.
    return QAbstractTableModel::flags(index);
}

void ModelProtocols::setAllSelected(bool selected)
{
    beginResetModel();
    for (ProtocolItem& item : items)
        item.selected = selected;
    endResetModel();
}

void ModelProtocols::setProgressWidget(DownloadProgress* widget)
{
    progress = widget;
    connect(this, SIGNAL(clearDownloads()), progress, SLOT(finished()));
    connect(this, SIGNAL(donwloadFinished()), progress, SLOT(finished()));
}

void ModelProtocols::applyFilter()
{
    const QString text = searchParametr->value();
    QList<FilterEntry> filters;
    if (!text.isEmpty() && text != QLatin1String("*")) {
        FilterEntry entry;
        entry.combine = And;
        entry.column = 0;
        entry.kind = MatchesWhole;
        entry.regExp = QRegExp(QLatin1Char('*') + text + QLatin1Char('*'), Qt::CaseInsensitive,
                               QRegExp::Wildcard);
        filters.append(entry);
    }
    proxy->setFilters(filters);
}

void ModelProtocols::loadProtocols()
{
    const QString address = ProtocolListing::urlText(Settings::instance()->prIP->addressText());
    emit clearDownloads();
    beginResetModel();
    items.clear();
    endResetModel();
    // The refill is a reset of its own when the reply is parsed, so that nothing the operator
    // does meanwhile (typing a filter, ticking all) runs inside a reset left open.
    if (progress)
        progress->start(0);
    auto* downloader = new FileDownloader(QUrl(address, QUrl::TolerantMode), this);
    downloader->setMaxSize(maxListingSize);
    // Its stated length tells a listing cut short from a short one.
    downloader->setCoding(TransferGuard::Identity);
    // Only the newest request may fill the list: an older one, even with its reply already
    // queued, is dropped.
    connect(this, SIGNAL(clearDownloads()), downloader, SLOT(abandon()));
    connect(downloader, SIGNAL(downloaded()), this, SLOT(onTcpLoad()));
    downloader->startDownload();
}

void ModelProtocols::onTcpLoad()
{
    auto* downloader = qobject_cast<FileDownloader*>(sender());
    if (!downloader)
        return;
    downloader->deleteLater();
    // A listing that did not arrive whole is no listing: an empty table, as for any failure.
    const QByteArray body = downloader->downloadedData();
    const QString text = ProtocolListing::text(body);
    const QStringList names = text.isEmpty() ? QStringList() : ProtocolListing::scan(text);
    const QString url = downloader->address().toDisplayString();
    QNetworkReply* reply = downloader->finishedReply();
    if (downloader->succeeded())
        qCInfo(lcProtocols, "listing %s: status 200, %d bytes in %lld ms, %d protocols listed",
               qUtf8Printable(url), int(body.size()), TransferGuard::elapsedMs(reply),
               int(names.size()));
    else
        qCWarning(lcProtocols, "listing %s refused after %lld ms: %s", qUtf8Printable(url),
                  TransferGuard::elapsedMs(reply), qUtf8Printable(downloader->failure()));
    beginResetModel();
    items.clear();
    items.reserve(names.size());
    for (const QString& name : names)
        items.append(ProtocolItem{name, false});
    endResetModel();
    applyFilter();
    emit donwloadFinished();
}
