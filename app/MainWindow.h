#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include "yuv/LumoYuvReader.h"
#include "open/YUVParseCache.h"

class QNetworkAccessManager;
class QNetworkReply;
class QScrollArea;
class QVBoxLayout;
class RecordLog;
class YUVListItem;

// The list of opened raw YUV files, one row per file, kept across runs.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Opens every path as a raw file of the given geometry and layout-table
    // index: one record and one row each, the list saved after each.
    void AddFiles(const QStringList& paths, int width, int height, int yuvIndex);

    const YUVParseCache& parseCache() const { return cache_; }
    const QList<YUVListItem*>& rows() const { return rows_; }

public slots:
    void OpenFileClickListener();
    void AboutClickListener();
    void FeedbackClickListener();
    void CheckVersionClickListener();
    void OnItemCloseClick(int readerIndex, YUVListItem* item);
    void OnNetworkProcessFinished(QNetworkReply* reply);
    void OnNetworkProcessFinished2(QNetworkReply* reply);

private:
    void BuildForm();
    // Rows on screen get their thumbnails before the others.
    void PrioritiseVisibleRows();
    void AddRow(const lumo::LumoYuvReader& reader, int index);
    // A dialog without parent, shown not modally, for a version that differs.
    void ShowNewVersion(const QString& version);

    YUVParseCache cache_;
    QList<YUVListItem*> rows_; // same order as cache_
    QScrollArea* scroll_ = nullptr;
    QVBoxLayout* content_list_ = nullptr;
    RecordLog* record_log_ = nullptr;
    QNetworkAccessManager* network_ = nullptr;
};
