#include "open/ChosenFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include "base/AppSettings.h"
#include "yuv/YuvFrameFile.h"
#include "yuv/YuvTypeTable.h"

namespace {

// The context of this file's texts in the translation catalogue.
class ChosenFile
{
    Q_DECLARE_TR_FUNCTIONS(ChosenFile)
};

} // namespace

lumo::YuvGuess GuessChosenFile(const QString& path)
{
    return lumo::GuessFile(path.toUtf8().toStdString());
}

lumo::FileGeometry ChosenGeometry(const lumo::YuvGuess& guess, int width, int height, const std::string& type)
{
    lumo::SizeFlag size;
    size.width = width;
    size.height = height;
    lumo::LayoutFlag layout;
    layout.type = type;
    return lumo::ResolveGeometry(guess, size, layout);
}

bool LooksLikeMedia(const QString& path)
{
    static const QStringList kExtensions = {
        QStringLiteral("mp4"),  QStringLiteral("m4v"),  QStringLiteral("mov"),  QStringLiteral("mkv"),
        QStringLiteral("webm"), QStringLiteral("avi"),  QStringLiteral("flv"),  QStringLiteral("wmv"),
        QStringLiteral("mpg"),  QStringLiteral("mpeg"), QStringLiteral("ts"),   QStringLiteral("m2ts"),
        QStringLiteral("mts"),  QStringLiteral("3gp"),  QStringLiteral("ogv"),  QStringLiteral("mxf"),
        QStringLiteral("h264"), QStringLiteral("264"),  QStringLiteral("h265"), QStringLiteral("265"),
        QStringLiteral("hevc"), QStringLiteral("ivf"),  QStringLiteral("png"),  QStringLiteral("jpg"),
        QStringLiteral("jpeg"), QStringLiteral("bmp"),  QStringLiteral("gif"),  QStringLiteral("tif"),
        QStringLiteral("tiff"), QStringLiteral("webp"),
    };
    return kExtensions.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive);
}

QString Y4mProblem(const QString& path, const lumo::YuvGuess& guess)
{
    if (!guess.isY4m || guess.y4m.status == lumo::Y4mStatus::Ok)
        return QString();
    const lumo::Y4mInfo& info = guess.y4m;
    QString reason;
    switch (info.status) {
    case lumo::Y4mStatus::Ok: break;
    case lumo::Y4mStatus::Unterminated: reason = ChosenFile::tr("文件头没有结束（缺少换行）"); break;
    case lumo::Y4mStatus::HeaderTooLong:
        reason = ChosenFile::tr("文件头过长（超过 %1 字节）").arg(lumo::kMaxY4mHeaderBytes);
        break;
    case lumo::Y4mStatus::BinaryHeader: reason = ChosenFile::tr("文件头含有二进制字节"); break;
    case lumo::Y4mStatus::MissingSize: reason = ChosenFile::tr("文件头缺少宽度或高度（W、H 至少为 1）"); break;
    case lumo::Y4mStatus::BadSize:
        reason = ChosenFile::tr("文件头的宽度或高度不是 1 到 %1 之间的整数").arg(lumo::kMaxY4mDimension);
        break;
    case lumo::Y4mStatus::UnsupportedColour:
        reason = ChosenFile::tr("不支持颜色格式 C%1（支持 8 位的 4:2:0、4:2:2、4:4:4 以及 420p10、422p10、444p10、"
                                "420p12、420p16）")
                     .arg(QString::fromStdString(info.colourTag));
        break;
    case lumo::Y4mStatus::BadFrameHeader:
        reason = ChosenFile::tr("第 %1 帧的 FRAME 头已损坏").arg(info.badFrame);
        break;
    case lumo::Y4mStatus::FrameLargerThanFile:
        reason = ChosenFile::tr("文件头所说的帧大小（%1 字节）超过文件中的数据").arg(info.frameSize);
        break;
    }
    return ChosenFile::tr("无法打开 Y4M 文件 %1：%2").arg(path, reason);
}

bool ReaderForChosenFile(const QString& path, int width, int height, const std::string& type,
                         lumo::LumoYuvReader* reader, QString* problem)
{
    const std::string bytes = path.toUtf8().toStdString();
    const lumo::YuvGuess guess = GuessChosenFile(path);
    *problem = Y4mProblem(path, guess);
    if (!problem->isEmpty())
        return false;
    // The dialog's values describe raw files; a Y4M file keeps its header.
    const lumo::FileGeometry geometry = ChosenGeometry(guess, width, height, type);
    *reader = lumo::LumoYuvReader(bytes, geometry.width, geometry.height, geometry.type);
    return true;
}

QStringList LocalFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data)
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

int LayoutIndex(const std::string& type)
{
    const lumo::YuvTypeTable& table = lumo::YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        lumo::YuvTypeInfo info;
        if (table.GetByIndex(i, info) == 0 && info.name == type)
            return i;
    }
    return -1;
}

void RememberOpenedFolder(const QStringList& paths)
{
    if (!paths.isEmpty())
        AppSettings::SetLastOpenDir(QFileInfo(paths.last()).absolutePath());
}

QString ChooserStartDir()
{
    // Unset, the stored folder reads "/": the home folder is a better start.
    const QString stored = AppSettings::Read(QString::fromLatin1(AppSettings::kKeyCacheLastOpen), QString());
    if (!stored.isEmpty() && QFileInfo(stored).isDir())
        return stored;
    return QDir::homePath();
}

void ShowWarning(const QString& text)
{
    QMessageBox box(QMessageBox::Information, ChosenFile::tr("警告"), text, QMessageBox::Ok);
    box.exec();
}
