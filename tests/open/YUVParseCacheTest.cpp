#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>

#include "base/AppSettings.h"
#include "open/YUVParseCache.h"

namespace {

QString TempDir()
{
    return qEnvironmentVariable("LUMO_TEST_TMP");
}

QString MakeFile(const QString& name)
{
    const QString path = QDir(TempDir()).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(16, '\x10'));
    return path;
}

void Store(const QString& json)
{
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication).setValue(AppSettings::kKeyYuvParse, json);
}

} // namespace

TEST(YUVParseCache, SavesCompactJsonAndRestoresTheSameList)
{
    const QString a = MakeFile("a.yuv");
    const QString b = MakeFile("视频 b.yuv");
    YUVParseCache cache;
    cache.Save();
    EXPECT_EQ(AppSettings::YuvParseList(), "[]");

    cache.Add(lumo::LumoYuvReader(a.toStdString(), 352, 288, "YUV_TYPE_I420"));
    cache.Add(lumo::LumoYuvReader(b.toUtf8().toStdString(), 1920, 1080, "YUV_TYPE_NV12"));
    cache.Save();
    EXPECT_EQ(AppSettings::YuvParseList(),
              QStringLiteral(R"([{"height":288,"path":"%1","type_str":"YUV_TYPE_I420","width":352},)"
                             R"({"height":1080,"path":"%2","type_str":"YUV_TYPE_NV12","width":1920}])")
                  .arg(a, b));

    YUVParseCache loaded;
    loaded.Load();
    ASSERT_EQ(loaded.Size(), 2);
    EXPECT_EQ(loaded.Readers()[1]->Path(), b.toUtf8().toStdString());
    EXPECT_EQ(loaded.Readers()[1]->Width(), 1920);
    EXPECT_EQ(loaded.Readers()[1]->Height(), 1080);
    EXPECT_EQ(loaded.Readers()[1]->Type(), "YUV_TYPE_NV12");
}

TEST(YUVParseCache, RemoveIgnoresPositionsOutsideTheList)
{
    YUVParseCache cache;
    for (int i = 0; i < 3; ++i)
        cache.Add(lumo::LumoYuvReader("f" + std::to_string(i), i + 1, 1, "YUV_TYPE_I420"));
    cache.Remove(-1);
    cache.Remove(3);
    EXPECT_EQ(cache.Size(), 3);
    cache.Remove(1);
    ASSERT_EQ(cache.Size(), 2);
    EXPECT_EQ(cache.Readers()[0]->Path(), "f0");
    EXPECT_EQ(cache.Readers()[1]->Path(), "f2");
}

// Stored values of every shape load without a crash, as far as they make sense.
TEST(YUVParseCache, LoadsAnyStoredValue)
{
    const QString f = MakeFile("stored.yuv");
    struct Case {
        const char* what;
        QString json;
        int size;
        std::string type; // of the first record
        int width;
        int height;
    } cases[] = {
        {"empty", "", 0, "", 0, 0},
        {"blank", "   ", 0, "", 0, 0},
        {"malformed", "[{\"path\":", 0, "", 0, 0},
        {"object, not array", QStringLiteral(R"({"path":"%1"})").arg(f), 0, "", 0, 0},
        {"foreign text", "hello", 0, "", 0, 0},
        {"number", "42", 0, "", 0, 0},
        {"array of non-objects", "[1,\"x\",null,[],true]", 0, "", 0, 0},
        {"missing file", R"([{"width":1,"height":1,"type_str":"YUV_TYPE_I420","path":"/no/such/file"}])", 0, "", 0,
         0},
        {"empty path", R"([{"width":1,"height":1,"type_str":"YUV_TYPE_I420","path":""}])", 0, "", 0, 0},
        {"path not a string", R"([{"width":1,"height":1,"path":7}])", 0, "", 0, 0},
        {"legacy type", QStringLiteral(R"([{"width":4,"height":2,"type":1,"path":"%1"}])").arg(f), 1,
         "YUV_TYPE_YV12", 4, 2},
        {"legacy unknown", QStringLiteral(R"([{"width":4,"height":2,"type":99,"path":"%1"}])").arg(f), 1, "UNKNOW",
         4, 2},
        {"no type at all", QStringLiteral(R"([{"width":4,"height":2,"path":"%1"}])").arg(f), 1, "YUV_TYPE_I420", 4,
         2},
        {"type_str wins", QStringLiteral(R"([{"type_str":"YUV_TYPE_NV21","type":1,"path":"%1"}])").arg(f), 1,
         "YUV_TYPE_NV21", 0, 0},
        {"type_str not a string", QStringLiteral(R"([{"type_str":5,"path":"%1"}])").arg(f), 1, "", 0, 0},
        {"sizes of wrong type", QStringLiteral(R"([{"width":"352","height":null,"type_str":"x","path":"%1"}])").arg(f),
         1, "x", 0, 0},
        {"sizes out of range", QStringLiteral(R"([{"width":1e300,"height":-1e12,"type_str":"x","path":"%1"}])").arg(f),
         1, "x", 0, 0},
        {"mixed elements", QStringLiteral(R"([3,{"width":8,"height":6,"type_str":"YUV_TYPE_I444","path":"%1"},"z"])")
                               .arg(f),
         1, "YUV_TYPE_I444", 8, 6},
    };
    for (const Case& c : cases) {
        Store(c.json);
        YUVParseCache cache;
        cache.Add(lumo::LumoYuvReader("stale", 1, 1, "YUV_TYPE_I420"));
        cache.Load();
        ASSERT_EQ(cache.Size(), c.size) << c.what;
        if (c.size > 0) {
            EXPECT_EQ(cache.Readers()[0]->Type(), c.type) << c.what;
            EXPECT_EQ(cache.Readers()[0]->Width(), c.width) << c.what;
            EXPECT_EQ(cache.Readers()[0]->Height(), c.height) << c.what;
        }
    }
}

TEST(YUVParseCache, LegacyRecordIsRewrittenWithTypeStr)
{
    const QString f = MakeFile("legacy.yuv");
    Store(QStringLiteral(R"([{"width":4,"height":2,"type":1,"path":"%1"}])").arg(f));
    YUVParseCache cache;
    cache.Load();
    cache.Save();
    EXPECT_EQ(AppSettings::YuvParseList(),
              QStringLiteral(R"([{"height":2,"path":"%1","type_str":"YUV_TYPE_YV12","width":4}])").arg(f));
}

// Two running instances, each with its own list, add and close files in
// turn: neither loses the other's files from the store, and equal records
// are told apart by their order.
TEST(YUVParseCache, TwoInstancesKeepEachOthersFiles)
{
    const lumo::LumoYuvReader a(MakeFile("one.yuv").toStdString(), 4, 2, "YUV_TYPE_I420");
    const lumo::LumoYuvReader b(MakeFile("two.yuv").toStdString(), 8, 2, "YUV_TYPE_NV12");
    const lumo::LumoYuvReader c(MakeFile("three.yuv").toStdString(), 2, 2, "YUV_TYPE_I444");
    auto stored = [](const std::vector<lumo::LumoYuvReader>& readers) {
        YUVParseCache list;
        for (const lumo::LumoYuvReader& reader : readers)
            list.Add(reader);
        return list.ToJson();
    };
    Store("[]");
    YUVParseCache first;
    YUVParseCache second;
    first.Load();
    second.Load();
    first.AddAndStore(a);
    second.AddAndStore(b);
    EXPECT_EQ(AppSettings::YuvParseList(), stored({a, b}));
    first.AddAndStore(c);
    first.AddAndStore(a);
    EXPECT_EQ(AppSettings::YuvParseList(), stored({a, b, c, a}));
    second.RemoveAndStore(0);
    EXPECT_EQ(AppSettings::YuvParseList(), stored({a, c, a}));
    first.RemoveAndStore(2); // the second "a" of this instance
    EXPECT_EQ(AppSettings::YuvParseList(), stored({a, c}));
    EXPECT_EQ(first.ToJson(), stored({a, c}));
    EXPECT_EQ(second.Size(), 0);
    second.RemoveAndStore(0); // nothing left here: the store stays
    EXPECT_EQ(AppSettings::YuvParseList(), stored({a, c}));
}
