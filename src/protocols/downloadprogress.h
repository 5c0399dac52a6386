#pragma once
// DownloadProgress: the dark busy overlay with a loading animation and an optional progress bar.
#include <QWidget>

class QFrame;
class QLabel;
class QMovie;
class QProgressBar;

class DownloadProgress : public QWidget
{
    Q_OBJECT
public:
    explicit DownloadProgress(QWidget* parent = nullptr);

    void setTarget(QWidget* target);
    void fitToTarget();
    void start(int mode);

    QFrame* panel() const { return box; }
    QProgressBar* progressBar() const { return bar; }
    QMovie* animation() const { return movie; }

public slots:
    void setProgress(int value);
    void finished();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QFrame* box;
    QLabel* label;
    QProgressBar* bar;
    QWidget* target = nullptr;
    QMovie* movie;
};
