#pragma once

#include <memory>

#include <QImage>
#include <QMetaType>
#include <QString>
#include <QWidget>

#include "yuv/LumoYuvReader.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;

// One row of the main window: layout, frame count and path of an opened raw
// file, thumbnails of its first frames, and buttons to analyse or close it.
class QTimer;

class YUVListItem : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxThumbnails = 10;
    static constexpr int kThumbnailHeight = 100;
    // Very wide frames (1920 x 1, line-scan dumps) give thumbnails this wide
    // at most, and less high, instead of hundreds of megabytes each.
    static constexpr int kMaxThumbnailWidth = 1000;

    YUVListItem(int readerIndex, QWidget* parent = nullptr);
    ~YUVListItem() override;

    // Keeps a copy of the reader and shows its description at once; the
    // thumbnails follow from the program's row thumbnailer. Returns -1 (and
    // shows nothing) for a layout not in the table.
    int SetReader(const lumo::LumoYuvReader& reader);
    void SetText(const QString& text);

    // Marks the row as the one the user asked for (a file named again):
    // tinted, with the focus on its analyse button.
    void SetSelected(bool selected);
    bool isSelected() const { return selected_; }

    int readerIndex() const { return readerIndex_; }
    void setReaderIndex(int index) { readerIndex_ = index; }
    const lumo::LumoYuvReader* reader() const { return reader_.get(); }
    QString text() const { return text_; }
    // Appends to the row's text the frames of an encoded file found not to
    // decode so far; nothing when every frame read decoded.
    void NoteUndecodedFrames();
    int thumbnailCount() const;
    // Whether thumbnails are still being made, and the request making them.
    bool thumbnailsPending() const { return thumbnailTicket_ != 0; }
    quint64 thumbnailTicket() const { return thumbnailTicket_; }

signals:
    void OnItemCloseClick(int readerIndex, YUVListItem* item);
    // The detail button opened an analysis window on a copy of `reader`.
    void OnItemDetailClick(const lumo::LumoYuvReader& reader);

public slots:
    void onDetailClick();
    void onCloseClick();

private:
    void RequestThumbnails();
    void CancelThumbnails();
    // The row's text for the reader's frame count as it stands.
    void ShowFrameCount();
    // An encoded stream still being counted: the count is shown again until
    // it is exact.
    void FollowCount();
    void AddThumbnail(const QImage& thumbnail);

    int readerIndex_ = -1;
    bool selected_ = false;
    quint64 thumbnailTicket_ = 0;
    std::unique_ptr<lumo::LumoYuvReader> reader_;
    QString text_;
    QString description_;
    QTimer* countTimer_ = nullptr;
    QLabel* image_path_label_ = nullptr;
    QPushButton* show_detail_btn_ = nullptr;
    QPushButton* close_yuv_btn_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;
    QHBoxLayout* small_image_layout_ = nullptr;
};

Q_DECLARE_METATYPE(lumo::LumoYuvReader)
