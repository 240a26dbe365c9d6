#include <gtest/gtest.h>

#include <algorithm>

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>

#include "LoopbackServer.h"
#include "online/RecordLog.h"
#include "online/WebRequest.h"

namespace {

std::string Body(const QString& type, const QString& page, const QString& block, const QString& action,
                 const QString& info)
{
    return (QStringLiteral("type=%1&version=2.2.1&platform=Windows&app=YUVLumo&page=%2&block=%3&action=%4&info=")
                .arg(type, page, block, action) +
            QStringLiteral("%5Buser_email%5D%3B%20%5Binfo%5D%20") + info)
        .toStdString();
}

} // namespace

TEST(WebRequest, PercentEncodesEveryByteOutsideTheUnreservedSet)
{
    struct Case {
        QString value;
        QByteArray encoded;
    } cases[] = {
        {QStringLiteral("AZaz09-._~"), "AZaz09-._~"},
        {QStringLiteral("a b&c"), "a%20b%26c"},
        {QStringLiteral("+=/?%#"), "%2B%3D%2F%3F%25%23"},
        {QStringLiteral("中"), "%E4%B8%AD"},
        {QStringLiteral("[x]; y"), "%5Bx%5D%3B%20y"},
        {QString(), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WebRequest::PercentEncode(c.value), c.encoded) << c.value.toStdString();

    EXPECT_EQ(WebRequest::FormBody({{"a", "1 2"}, {"empty", ""}, {"b", "ü"}}), "a=1%202&empty=&b=%C3%BC");
}

TEST(WebRequest, ReplyCodeCountsAnythingButANumberAsZero)
{
    struct Case {
        QByteArray body;
        int code;
    } cases[] = {
        {R"({"code":200,"model":{}})", 200},
        {R"({"code":"200"})", 0},
        {R"({"message":"x"})", 0},
        {"", 0},
        {"not json", 0},
        {"[200]", 0},
        {R"({"code":null})", 0},
        {R"({"code":500})", 500},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WebRequest::ReplyCode(c.body), c.code) << c.body.toStdString();
}

// Tests start with an address of their own: usage events of a test run
// must never reach a service a user runs at the default address.
TEST(WebRequest, TestsStartWithTheirOwnAddress)
{
    EXPECT_EQ(qgetenv("LUMO_SERVICE_URL"), LUMO_TEST_SERVICE_URL);
    EXPECT_NE(WebRequest::BaseUrl(), "http://127.0.0.1:18321");
}

TEST(WebRequest, BaseUrlFollowsTheEnvironment)
{
    qunsetenv("LUMO_SERVICE_URL");
    EXPECT_EQ(WebRequest::BaseUrl(), "http://127.0.0.1:18321");
    qputenv("LUMO_SERVICE_URL", "http://example.invalid:9/");
    EXPECT_EQ(WebRequest::BaseUrl(), "http://example.invalid:9");
    RestoreServiceUrl();
}

TEST(RecordLog, EveryEventReachesTheServiceByteForByte)
{
    LoopbackServer server;
    RecordLog log;
    log.recordOpenFile(352, 288, QStringLiteral("I420 (YUV 420 Planar)"), QStringLiteral("|/tmp/a b.yuv|/视频/c.yuv"));
    log.recordError(QStringLiteral("OpenFileDialog"), QStringLiteral("OpenFile"), QStringLiteral("OpenFileBtnClick"),
                    QStringLiteral("ERROR:x"));
    log.recordAboutWindow();
    log.recordMakerLink();
    log.recordFeedbackWindow();
    log.recordMainWindow();
    log.recordMetric(QStringLiteral("[read1 file=a]"), 1.0, 999.99, 999.99, 999.99);
    log.recordPlayStart(QStringLiteral("d"), 25);
    log.recordPlayStop(QStringLiteral("d"));
    log.recordOpen2nd(QStringLiteral("d 100%"));
    log.recordUpdate(false);
    log.recordUpdate(true);

    const std::vector<std::string> expected = {
        Body("INFO", "OpenFileDialog", "OpenFile", "OpenFileBtnClick",
             "width%3A352%3Bheight%3A288%3Byuvtype%3AI420%20%28YUV%20420%20Planar%29%3Byuvpath%3A%7C%2Ftmp%2Fa%20b."
             "yuv%7C%2F%E8%A7%86%E9%A2%91%2Fc.yuv"),
        Body("ERROR", "OpenFileDialog", "OpenFile", "OpenFileBtnClick", "ERROR%3Ax"),
        Body("INFO", "AboutWindow", "AboutDevelopers", "NULL", "NULL"),
        Body("INFO", "AboutWindow", "AboutDevelopers", "AboutOmbrelClick", "NULL"),
        Body("INFO", "AboutWindow", "AboutFeedback", "NULL", "NULL"),
        Body("INFO", "MainWindow", "NULL", "NULL", "NULL"),
        Body("INFO", "LumoImageView", "LumoImageViewBlock", "LumoImageViewIQAClick",
             "%5Bread1%20file%3Da%5D%20%2B%20%5Bssim%3D1%3BpsnrYUV%3D999.99%2C999.99%2C999.99%5D"),
        Body("INFO", "LumoImageView", "LumoImageViewBlock", "LumoImageViewPlayStartClick", "d%20%2B%20%5Bfps%3A25%5D"),
        Body("INFO", "LumoImageView", "LumoImageViewBlock", "LumoImageViewPlayStopClick", "file%3Ad"),
        Body("INFO", "LumoImageView", "LumoImageViewBlock", "LumoImageViewOpen2ndClick", "d%20100%25"),
        Body("INFO", "TopTabPage", "TopTabUpdateBlock", "TopTabUpdateBlockClick", "NULL"),
        Body("INFO", "TopTabPage", "TopTabUpdateBlock", "TopTabUpdateBlockDownload", "NULL"),
    };
    ASSERT_TRUE(server.WaitFor(expected.size()));
    std::vector<std::string> bodies;
    for (const ReceivedRequest& r : server.Requests()) {
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.path, "/lumo/user/anchor/anchor");
        EXPECT_EQ(r.contentType, "application/x-www-form-urlencoded");
        EXPECT_EQ(r.contentLength, std::to_string(r.body.size()));
        // The service refuses requests that name another site.
        EXPECT_FALSE(r.hasOriginOrReferer);
        bodies.push_back(r.body);
    }
    // Posts travel on parallel connections; their arrival order is free.
    std::sort(bodies.begin(), bodies.end());
    std::vector<std::string> sortedExpected = expected;
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(bodies, sortedExpected);
}

TEST(RecordLog, PostsStillOnTheirWayOutliveTheReporter)
{
    LoopbackServer server;
    {
        RecordLog log;
        log.recordMainWindow();
    }
    EXPECT_TRUE(server.WaitFor(1));
}

TEST(RecordLog, AnUnreachableServiceIsSilent)
{
    // Port 9 (discard) on loopback: refused.
    qputenv("LUMO_SERVICE_URL", "http://127.0.0.1:9");
    QNetworkAccessManager manager;
    QSignalSpy finished(&manager, &QNetworkAccessManager::finished);
    QNetworkReply* reply = WebRequest::Post(&manager, "/lumo/user/anchor/anchor", "a=b");
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_NE(reply->error(), QNetworkReply::NoError);
    RecordLog log;
    log.recordMainWindow();
    QTest::qWait(100);
    RestoreServiceUrl();
}

TEST(RecordLog, LocalAddressIsNeverEmptyNorLoopbackUnlessThereIsNoOther)
{
    const QString address = RecordLog::LocalAddress();
    QHostAddress parsed(address);
    ASSERT_FALSE(parsed.isNull());
    EXPECT_NE(parsed.toIPv4Address(), 0u);
}
