#pragma once

#include <QImage>
#include <QSize>

#include "yuv/FrameSource.h"
#include "yuv/LumoYuvReader.h"

// Thumbnails of single frames at a cost that does not depend on the frame's
// stated size: only the pixels a thumbnail needs are read from the file, a
// few kilobytes at a time, and converted with the reader's RGB formula. A
// 40000 x 40000 or 1 x 2147483647 frame costs what a small one does.

enum class ThumbnailFilter {
    Nearest, // each thumbnail pixel is the frame pixel nearest its centre
    Smooth,  // the mean of up to 4 x 4 frame pixels spread over its area
};

// A thumbnail `height` rows high with the frame's aspect ratio, but at most
// `maxWidth` wide (and then less high); never below 1 x 1. Empty for a frame
// without pixels.
QSize ThumbnailSizeForHeight(int frameWidth, int frameHeight, int height, int maxWidth);

// Frame `frameIndex` of `reader` as an RGB888 image of `size`; a frame
// smaller than that is scaled up afterwards. Bytes past the end of the file
// read as 0, as the reader pads a short last frame. Null when the frame
// starts past the end of the file, the path is not a regular file (nothing
// that could block is opened), or the layout or size is unusable.
QImage MakeFrameThumbnail(const lumo::LumoYuvReader& reader, int frameIndex, QSize size, ThumbnailFilter filter);
// The same for any frame source: a raw or Y4M file is sampled in place as
// above; another source's frame is read whole, then sampled.
QImage MakeFrameThumbnail(lumo::FrameSource& source, int frameIndex, QSize size, ThumbnailFilter filter);
