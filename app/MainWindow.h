#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "app/CommandLine.h"
#include "open/YUVParseCache.h"
#include "yuv/LumoYuvReader.h"
#include "yuv/YuvGuess.h"

class QDragEnterEvent;
class QDropEvent;
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
    // index (a Y4M file with its header's): one record and one row each, the
    // list saved after each. A Y4M file that cannot be read gets a message
    // and no row.
    void AddFiles(const QStringList& paths, int width, int height, int yuvIndex);
    // Opens files chosen outside the dialog (dropped, or named on the
    // command line). A Y4M file, and a raw file whose width, height and
    // layout are known, get a row at once; the others go to the open-file
    // dialog, chosen and pre-filled. `width`, `height` and `type` (0 and
    // empty when not given) win over what the file names tell.
    void OpenPaths(const QStringList& paths, int width = 0, int height = 0, const std::string& type = {});
    // What the command line asked for: its files as rows, or an analysis
    // window comparing two files.
    void OpenStartup(const StartupRequest& request);

    const YUVParseCache& parseCache() const { return cache_; }
    const QList<YUVListItem*>& rows() const { return rows_; }
    // The row last asked for by naming its file again, or null.
    YUVListItem* selectedRow() const;

public slots:
    void OpenFileClickListener();
    void AboutClickListener();
    void FeedbackClickListener();
    void CheckVersionClickListener();
    void OnItemCloseClick(int readerIndex, YUVListItem* item);
    void OnNetworkProcessFinished(QNetworkReply* reply);
    void OnNetworkProcessFinished2(QNetworkReply* reply);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildForm();
    // The open-file dialog with `chosen` already chosen and the form
    // pre-filled (the values first, then the guess); adds what it accepts.
    void RunOpenDialog(const QStringList& chosen, int width, int height, int yuvIndex);
    void AddReader(const lumo::LumoYuvReader& reader);
    // An encoded file: its stream read on a pool thread, then a row (or the
    // dialog, for one that does not decode) back on the GUI thread.
    void OpenEncodedLater(const QString& path, int width, int height, const std::string& type);
    void FinishEncodedOpen(const QString& path, const lumo::YuvGuess& guess, int width, int height,
                           const std::string& type);
    // Rows on screen get their thumbnails before the others.
    void PrioritiseVisibleRows();
    void AddRow(const lumo::LumoYuvReader& reader, int index);
    // The first row showing the file at `path` (however the path is
    // spelt), or null; a width above 0 or a layout name only matches a row
    // of that size or layout.
    YUVListItem* RowOf(const QString& path, int width, int height, const std::string& type) const;
    // Marks `row` and scrolls it into view.
    void SelectRow(YUVListItem* row);
    // A dialog without parent, shown not modally, for a version that differs.
    void ShowNewVersion(const QString& version);

    YUVParseCache cache_;
    QList<YUVListItem*> rows_; // same order as cache_
    QPointer<YUVListItem> selected_;
    QScrollArea* scroll_ = nullptr;
    QVBoxLayout* content_list_ = nullptr;
    RecordLog* record_log_ = nullptr;
    QNetworkAccessManager* network_ = nullptr;
};
