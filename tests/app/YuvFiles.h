#pragma once

// Raw YUV files made on the fly for the row and main-window tests.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>

#include "app/YUVListItem.h"

inline QString TestTmpPath(const QString& name)
{
    return QDir(qEnvironmentVariable("LUMO_TEST_TMP")).filePath(name);
}

inline QString WriteFile(const QString& name, const QByteArray& bytes)
{
    const QString path = TestTmpPath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    return path;
}

// I420 frames whose luma is dark left of column `edge` and bright from it,
// chroma neutral.
inline QByteArray I420Frames(int width, int height, int frames, int edge)
{
    QByteArray frame;
    const int chroma = 2 * ((width + 1) / 2) * ((height + 1) / 2);
    frame.reserve(width * height + chroma);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.append(static_cast<char>(x < edge ? 16 : 235));
    frame.append(QByteArray(chroma, static_cast<char>(128)));
    QByteArray all;
    for (int i = 0; i < frames; ++i)
        all += frame;
    return all;
}

// Thumbnails are made in the background: waits until the row has them all.
inline bool WaitForThumbnails(const YUVListItem& row)
{
    return QTest::qWaitFor([&row] { return !row.thumbnailsPending(); }, 10000);
}
