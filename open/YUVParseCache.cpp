#include "open/YUVParseCache.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

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

void YUVParseCache::Load()
{
    const QString json = AppSettings::YuvParseList();
    qDebug() << json;
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
            qDebug() << "type_str is Undefined";
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
