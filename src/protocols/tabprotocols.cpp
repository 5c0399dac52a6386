#include "protocols/tabprotocols.h"

#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/parametrstring.h"
#include "parameters/settings.h"
#include "parameters/widgets/prfield.h"
#include "protocols/downloadprogress.h"
#include "protocols/filedownloader.h"
#include "protocols/modelprotocols.h"
#include "protocols/multiplefilesdownloader.h"
#include "protocols/protocollisting.h"
#include "protocols/protocolstore.h"
#include "protocols/tabulonsortfilterproxymodel.h"
#include "remote/displayframe.h"
#include "remote/hvnc.h"
#include "shell/hbutton.h"
#include "shell/iconset.h"
#include "shell/messagehandler.h"
#include "shell/tabholderwidget.h"

#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QResizeEvent>
#include <QTableView>
#include <QUrl>

namespace {

TabProtocols::OpenUrlHandler openUrlHandler = nullptr;

bool openUrl(const QUrl& url)
{
    return openUrlHandler ? openUrlHandler(url) : QDesktopServices::openUrl(url);
}

QString protocolUrlText(const QString& name)
{
    return ProtocolListing::fileUrlText(Settings::instance()->prIP->addressText(), name);
}

} // namespace

TabProtocols::TabProtocols(QWidget* parent) : Tab(parent)
{
    table = new QTableView(holder);
    model = new ModelProtocols(this);
    table->setModel(model->proxyModel());
    table->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Sorts at once by the header's initial indicator: column 0, descending.
    table->setSortingEnabled(true);
    connect(table, SIGNAL(clicked(QModelIndex)), this, SLOT(onItemClicked(QModelIndex)));

    QHeaderView* header = table->horizontalHeader();
    // Word wrap is a text flag that the header accepts among its alignment bits.
    header->setDefaultAlignment(Qt::Alignment(QFlag(Qt::AlignCenter | Qt::TextWordWrap)));
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setStretchLastSection(true);
    header->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    progress = new DownloadProgress(table);
    progress->setTarget(table);
    model->setProgressWidget(progress);
    progress->fitToTarget();

    auto* filterRow = new QWidget(holder);
    filterRow->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    auto* filterLayout = new QHBoxLayout(filterRow);
    filterLayout->setContentsMargins(10, 0, 0, 0);
    filterLayout->setSpacing(10);
    auto* searchField = new PrField(model->filterParametr(), filterRow, PrField::LabelLeft);
    searchField->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    filterLayout->addWidget(searchField);
    connect(searchField, SIGNAL(changed()), this, SLOT(onFilterChanged()));
    auto* folderField =
        new PrField(Settings::instance()->prProtocolsPath, filterRow, PrField::LabelLeft);
    folderField->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    filterLayout->addWidget(folderField);
    // Takes whatever width the search field leaves.
    folderField->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);

    buttonBar = new QWidget(holder);
    buttonBar->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Maximum);
    auto* buttonGrid = new QGridLayout(buttonBar);
    buttonGrid->setSpacing(5);
    buttonGrid->setContentsMargins(2, 2, 2, 2);
    IconSet* icons = IconSet::instance();
    const struct
    {
        const char* caption;
        QIcon icon;
    } buttonSpecs[] = {
        {"Открыть текущий файл", icons->excel},
        {"Загрузить выбранные файлы", icons->fileSave},
        {"Выбрать все файлы", icons->checkAll},
        {"Очистить выделение", icons->checkClear},
        {"Открыть папку с протоколами", icons->folderOpen},
    };
    quint8 id = 0;
    for (const auto& spec : buttonSpecs) {
        auto* button = new HButton(QString::fromUtf8(spec.caption), id++, buttonBar);
        button->setIconSize(icons->iconSize);
        button->setIcon(spec.icon);
        button->setFixedHeight(30);
        buttonGrid->addWidget(button, 0, buttonGrid->columnCount());
        connect(button, SIGNAL(clicked(bool)), this, SLOT(onButtonPressed()));
    }

    downloader = new MultipleFilesDownloader(Settings::instance()->prProtocolsPath, this);
    connect(downloader, SIGNAL(downloaded()), progress, SLOT(finished()));
    connect(downloader, SIGNAL(progressChanged(int)), progress, SLOT(setProgress(int)));
    connect(downloader, SIGNAL(downloaded()), this, SLOT(onMultiDownloadFinished()));
    // A refresh deletes a pending open-file download; the buttons must not stay disabled.
    connect(model, SIGNAL(clearDownloads()), this, SLOT(onDownloadsCleared()));

    contentGrid->addWidget(filterRow, 0, 0);
    contentGrid->addWidget(table, 1, 0);
    contentGrid->addWidget(buttonBar, 2, 0);
}

HButton* TabProtocols::button(int id) const
{
    const auto list = buttonBar->findChildren<HButton*>();
    for (HButton* b : list) {
        if (b->id() == id)
            return b;
    }
    return nullptr;
}

void TabProtocols::setOpenUrlHandler(OpenUrlHandler handler)
{
    openUrlHandler = handler;
}

void TabProtocols::setDisplayFrame(DisplayFrame* frame)
{
    displayFrame = frame;
    if (frame)
        connect(frame->session(), SIGNAL(connectStateChanged(bool)), this,
                SLOT(onConnectStateChanged(bool)));
}

void TabProtocols::showEvent(QShowEvent* event)
{
    Tab::showEvent(event);
    model->loadProtocols();
}

void TabProtocols::resizeEvent(QResizeEvent* event)
{
    // The tab's size, not the table's: the table clips the overlay.
    progress->resize(event->size());
    Tab::resizeEvent(event);
}

void TabProtocols::onConnectStateChanged(bool)
{
    model->loadProtocols();
}

void TabProtocols::onFilterChanged()
{
    model->applyFilter();
}

void TabProtocols::onButtonPressed()
{
    auto* button = qobject_cast<HButton*>(sender());
    if (button)
        handleButton(button->id());
}

void TabProtocols::handleButton(int id)
{
    switch (id) {
    case OpenFile: {
        const QModelIndexList rows = table->selectionModel()->selectedRows(0);
        if (rows.isEmpty()) {
            MessageHandler::showWarning(QStringLiteral("Файл не выбран!"));
        } else if (rows.size() > 1) {
            MessageHandler::showWarning(
                QStringLiteral("Для открытия протокола выберите только один файл!"));
        } else {
            QAbstractItemModel* proxy = model->proxyModel();
            const QString listed =
                proxy->data(proxy->index(rows.first().row(), 0), Qt::DisplayRole).toString();
            const QUrl url(protocolUrlText(listed), QUrl::TolerantMode);
            // Only a protocol is fetched and handed to the desktop, never a script or a
            // start-up file.
            QString name;
            if (!ProtocolStore::requestableName(url, &name)) {
                MessageHandler::showCritical(QStringLiteral("Ошибка загрузки протокола %1!")
                                                 .arg(ProtocolStore::shownName(name)));
            } else {
                auto* file = new FileDownloader(url, this);
                file->spoolInto(Settings::instance()->prProtocolsPath->valueText());
                if (file->startDownload()) {
                    connect(file, SIGNAL(downloaded()), this, SLOT(onFileLoaded()));
                    connect(model, SIGNAL(clearDownloads()), file, SLOT(abandon()));
                    pendingFile = file;
                    buttonBar->setEnabled(false);
                } else {
                    delete file;
                }
            }
        }
        table->setFocus(Qt::OtherFocusReason);
        break;
    }
    case DownloadSelected: {
        // Only rows that pass the filter, in the order shown.
        QAbstractItemModel* proxy = model->proxyModel();
        QStringList names;
        for (int row = 0; row < proxy->rowCount(); ++row) {
            const QModelIndex index = proxy->index(row, 0);
            if (index.isValid() && index.data(Qt::CheckStateRole).toBool())
                names.append(index.data(Qt::DisplayRole).toString());
        }
        if (names.isEmpty()) {
            MessageHandler::showWarning(QStringLiteral("Файл не выбран!"));
        } else {
            for (QString& name : names)
                name = protocolUrlText(name);
            buttonBar->setEnabled(false);
            downloader->download(names);
        }
        table->setFocus(Qt::OtherFocusReason);
        break;
    }
    case SelectAll:
        model->setAllSelected(true);
        table->setFocus(Qt::OtherFocusReason);
        break;
    case ClearSelection:
        model->setAllSelected(false);
        table->setFocus(Qt::OtherFocusReason);
        break;
    case OpenFolder: {
        const QString folder =
            ProtocolStore::folderPath(Settings::instance()->prProtocolsPath->valueText());
        if (!folder.isEmpty() && QDir(folder).exists())
            openPath(folder);
        else
            MessageHandler::showCritical(QStringLiteral("Выбранная папка не найдена!"));
        break;
    }
    default:
        break;
    }
}

void TabProtocols::onItemClicked(const QModelIndex& index)
{
    const QModelIndex source = model->proxyModel()->mapToSource(index);
    if (!source.isValid())
        return;
    const bool marked = model->data(source, Qt::CheckStateRole).toBool();
    model->setData(source, QVariant(!marked), Qt::CheckStateRole);
}

void TabProtocols::onFileLoaded()
{
    auto* file = qobject_cast<FileDownloader*>(sender());
    if (!file)
        return;
    file->deleteLater();
    pendingFile = nullptr;
    QString name;
    QString path;
    switch (ProtocolStore::saveReply(
        file->finishedReply(), Settings::instance()->prProtocolsPath->valueText(), &name, &path)) {
    case ProtocolStore::Outcome::LoadFailed:
        MessageHandler::showCritical(
            QStringLiteral("Ошибка загрузки протокола %1!").arg(ProtocolStore::shownName(name)));
        break;
    case ProtocolStore::Outcome::SaveFailed:
        break;
    case ProtocolStore::Outcome::Saved:
        openPath(path);
        break;
    }
    updateButtonBar();
}

void TabProtocols::onMultiDownloadFinished()
{
    // A batch that stopped at an error has already said so; no success message after it.
    if (downloader->lastBatchComplete())
        MessageHandler::showInformation(tr("Файлы загружены."));
    updateButtonBar();
}

void TabProtocols::onDownloadsCleared()
{
    if (!pendingFile)
        return;
    pendingFile = nullptr;
    updateButtonBar();
}

void TabProtocols::updateButtonBar()
{
    buttonBar->setEnabled(!downloader->isRunning() && !pendingFile);
}

void TabProtocols::openPath(const QString& path)
{
    // The path as written, absolute: nothing trimmed, nothing guessed.
    if (openUrl(QUrl::fromLocalFile(path)))
        return;
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        openUrl(QUrl::fromLocalFile(path.left(slash)));
}
