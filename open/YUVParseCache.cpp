#include "open/YUVParseCache.h"

#include "base/DebugLog.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLockFile>
#include <QSettings>

#include "base/AppSettings.h"
#include "yuv/YuvTypeTable.h"

namespace {

// A JSON integer member; 0 when absent, not a number or out of range.
int IntMember(const QJsonObject& object, const QString& name)
{
    const QJsonValue value = object.value(name);
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (!(number >= INT32_MIN && number <= INT32_MAX))
        return 0;
    return static_cast<int>(number);
}

} // namespace

void YUVParseCache::Add(const lumo::LumoYuvReader& reader)
{
    readers_.push_back(std::make_unique<lumo::LumoYuvReader>(reader));
}

void YUVParseCache::Remove(int index)
{
    if (index < 0 || index >= Size())
        return;
    readers_.erase(readers_.begin() + index);
}

QString YUVParseCache::ToJson() const
{
    QJsonArray array;
    for (const auto& reader : readers_) {
        QJsonObject object;
        object.insert(QStringLiteral("width"), reader->Width());
        object.insert(QStringLiteral("height"), reader->Height());
        object.insert(QStringLiteral("type_str"), QString::fromStdString(reader->Type()));
        object.insert(QStringLiteral("path"), QString::fromUtf8(reader->Path().c_str()));
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

void YUVParseCache::Save() const
{
    AppSettings::SetYuvParseList(ToJson());
}

namespace {

bool SameRecord(const lumo::LumoYuvReader& a, const lumo::LumoYuvReader& b)
{
    return a.Path() == b.Path() && a.Width() == b.Width() && a.Height() == b.Height() && a.Type() == b.Type();
}

} // namespace

void YUVParseCache::ChangeStored(const std::function<void(YUVParseCache&)>& change)
{
    // Beside the settings file, under a name of its own: QSettings locks
    // "<file>.lock" itself while it writes.
    const QString settingsFile = QSettings(AppSettings::kOrganisation, AppSettings::kApplication).fileName();
    QDir().mkpath(QFileInfo(settingsFile).absolutePath());
    QLockFile lock(settingsFile + QStringLiteral(".list-lock"));
    lock.setStaleLockTime(10000);
    // An instance that holds the lock finishes within milliseconds; if the
    // lock cannot be had at all, the change is still stored.
    if (!lock.tryLock(5000))
        qCDebug(lumoDebug) << "YUVParseCache: stored list changed without its lock";
    YUVParseCache stored;
    stored.FromJson(AppSettings::YuvParseList());
    change(stored);
    stored.Save();
}

void YUVParseCache::AddAndStore(const lumo::LumoYuvReader& reader)
{
    Add(reader);
    ChangeStored([&reader](YUVParseCache& stored) { stored.Add(reader); });
}

void YUVParseCache::RemoveAndStore(int index)
{
    if (index < 0 || index >= Size())
        return;
    // Equal records cannot be told apart: the n-th of them here is taken to
    // be the n-th of them in the store.
    const lumo::LumoYuvReader removed = *readers_[static_cast<size_t>(index)];
    int rank = 0;
    for (int i = 0; i < index; ++i)
        rank += SameRecord(*readers_[static_cast<size_t>(i)], removed);
    Remove(index);
    ChangeStored([&removed, rank](YUVParseCache& stored) {
        int seen = 0;
        int last = -1;
        for (int i = 0; i < stored.Size(); ++i) {
            if (!SameRecord(*stored.readers_[static_cast<size_t>(i)], removed))
                continue;
            last = i;
            if (seen++ == rank)
                break;
        }
        stored.Remove(last);
    });
}

void YUVParseCache::Load()
{
    const QString json = AppSettings::YuvParseList();
    qCDebug(lumoDebug) << json;
    FromJson(json);
}

void YUVParseCache::FromJson(const QString& json)
{
    const QJsonArray array = QJsonDocument::fromJson(json.toUtf8()).array();
    readers_.clear();
    for (const QJsonValue& element : array) {
        const QJsonObject object = element.toObject();
        const int width = IntMember(object, QStringLiteral("width"));
        const int height = IntMember(object, QStringLiteral("height"));
        std::string type;
        if (!object.contains(QStringLiteral("type_str"))) {
            qCDebug(lumoDebug) << "type_str is Undefined";
            type = lumo::LegacyTypeName(IntMember(object, QStringLiteral("type")));
        } else {
            type = object.value(QStringLiteral("type_str")).toString().toStdString();
        }
        const QString path = object.value(QStringLiteral("path")).toString();
        if (path.isEmpty() || !QFileInfo::exists(path))
            continue;
        readers_.push_back(std::make_unique<lumo::LumoYuvReader>(path.toUtf8().toStdString(), width, height, type));
    }
}
