#pragma once

// Small media files made on the fly for the conversion tests.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

inline QString TestTmp()
{
    return qEnvironmentVariable("LUMO_TEST_TMP");
}

// A short clip of `size` (e.g. "64x48") in a pixel format the encoder keeps.
inline QString MakeClip(const QString& name, const QString& size, const QString& pixFmt, int frames = 3)
{
    const QString path = QDir(TestTmp()).filePath(name);
    QFile::remove(path);
    QFile::remove(path + ".yuv");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-y", "-f", "lavfi", "-i", QStringLiteral("testsrc=size=%1:rate=10").arg(size),
                  "-frames:v", QString::number(frames), "-pix_fmt", pixFmt, "-c:v", "ffv1", path});
    ffmpeg.waitForFinished(60000);
    return path;
}

inline QString MakePng(const QString& name, int width, int height)
{
    const QString path = QDir(TestTmp()).filePath(name);
    QFile::remove(path + ".yuv");
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(QColor(200, 40, 90));
    image.save(path, "PNG");
    return path;
}

inline QString MakeTextFile(const QString& name)
{
    const QString path = QDir(TestTmp()).filePath(name);
    QFile::remove(path + ".yuv");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("this is not a media file\n");
    return path;
}
