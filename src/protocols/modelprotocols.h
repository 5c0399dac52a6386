#pragma once
// ModelProtocols: the device's protocol files as a one-column checkable table behind a proxy.
#include "protocols/protocolitem.h"

#include <QAbstractTableModel>
#include <QList>

class DownloadProgress;
class ParametrString;
class TabulonSortFilterProxyModel;

class ModelProtocols : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit ModelProtocols(QObject* parent = nullptr);
    ~ModelProtocols() override;
    static ModelProtocols* instance();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setAllSelected(bool selected);
    void setProgressWidget(DownloadProgress* widget);
    ParametrString* filterParametr() const { return searchParametr; }
    TabulonSortFilterProxyModel* proxyModel() const { return proxy; }
    void applyFilter();
    void loadProtocols();

    // A listing page bigger than this is refused rather than held and scanned.
    static constexpr qint64 maxListingSize = 32LL * 1024 * 1024;

signals:
    void donwloadFinished();
    void clearDownloads();
    void editDataChange();

public slots:
    void onTcpLoad();

private:
    ParametrString* searchParametr;
    TabulonSortFilterProxyModel* proxy;
    QList<ProtocolItem> items;
    DownloadProgress* progress;

    static ModelProtocols* self;
};
