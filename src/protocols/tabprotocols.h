#pragma once
// TabProtocols: the protocols page: search and folder fields, the ticked table and five commands.
#include "shell/tab.h"

#include <QModelIndex>
#include <QPointer>

class DisplayFrame;
class DownloadProgress;
class FileDownloader;
class HButton;
class ModelProtocols;
class MultipleFilesDownloader;
class QTableView;
class QUrl;

class TabProtocols : public Tab
{
    Q_OBJECT
public:
    enum ButtonId
    {
        OpenFile = 0,
        DownloadSelected = 1,
        SelectAll = 2,
        ClearSelection = 3,
        OpenFolder = 4
    };

    explicit TabProtocols(QWidget* parent = nullptr);

    void setDisplayFrame(DisplayFrame* frame);

    QTableView* tableView() const { return table; }
    ModelProtocols* protocolModel() const { return model; }
    DownloadProgress* progressWidget() const { return progress; }
    MultipleFilesDownloader* batchDownloader() const { return downloader; }
    QWidget* buttons() const { return buttonBar; }
    HButton* button(int id) const;

    // Replaces QDesktopServices::openUrl, so tests can see what would be opened without
    // starting a desktop application. Null restores the desktop.
    using OpenUrlHandler = bool (*)(const QUrl&);
    static void setOpenUrlHandler(OpenUrlHandler handler);

public slots:
    void onFileLoaded();
    void onMultiDownloadFinished();

private slots:
    void onConnectStateChanged(bool connected);
    void onFilterChanged();
    void onButtonPressed();
    void handleButton(int id);
    void onItemClicked(const QModelIndex& index);
    void onDownloadsCleared();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void openPath(const QString& path);
    void updateButtonBar();

    DisplayFrame* displayFrame = nullptr;
    QTableView* table;
    ModelProtocols* model;
    DownloadProgress* progress;
    MultipleFilesDownloader* downloader;
    QWidget* buttonBar;
    QPointer<FileDownloader> pendingFile;
};
