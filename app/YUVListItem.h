#pragma once

#include <cstdint>
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
class YUVListItem : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxThumbnails = 10;
    static constexpr int kThumbnailHeight = 100;

    YUVListItem(int readerIndex, QWidget* parent = nullptr);
    ~YUVListItem() override;

    // Keeps a copy of the reader, shows its description and thumbnails.
    // Returns -1 (and shows nothing) for a layout not in the table.
    int SetReader(const lumo::LumoYuvReader& reader);
    void SetText(const QString& text);

    int readerIndex() const { return readerIndex_; }
    void setReaderIndex(int index) { readerIndex_ = index; }
    const lumo::LumoYuvReader* reader() const { return reader_.get(); }
    QString text() const { return text_; }
    int thumbnailCount() const;

signals:
    void OnItemCloseClick(int readerIndex, YUVListItem* item);
    // The detail button opened an analysis window on a copy of `reader`.
    void OnItemDetailClick(const lumo::LumoYuvReader& reader);

public slots:
    void onDetailClick();
    void onCloseClick();

private:
    void AddThumbnails();
    // Frame `frame` of `reader` scaled to the thumbnail height; null when it
    // cannot be read. `rgb` is the frame buffer, kept between calls.
    static QImage MakeThumbnail(const lumo::LumoYuvReader& reader, int frame, std::unique_ptr<uint8_t[]>& rgb);
    // Frames above this many pixels are read one at a time.
    static constexpr int64_t kParallelPixelLimit = 4096LL * 4096;

    int readerIndex_ = -1;
    std::unique_ptr<lumo::LumoYuvReader> reader_;
    QString text_;
    QLabel* image_path_label_ = nullptr;
    QPushButton* show_detail_btn_ = nullptr;
    QPushButton* close_yuv_btn_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;
    QHBoxLayout* small_image_layout_ = nullptr;
};

Q_DECLARE_METATYPE(lumo::LumoYuvReader)
