// Runs the real lumo-service binary and talks to it over loopback HTTP.

#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ServiceProcess.h"

namespace {

const char *const kVersionPath = "/lumo/user/version/get_latest_version?app_name=YUVLumo";
const char *const kFeedbackPath = "/lumo/user/feedback/send";
const char *const kAnchorPath = "/lumo/user/anchor/anchor";
const char *const kFormType = "application/x-www-form-urlencoded";

// The value at `path` ("$.code", "$.model.version") of a JSON text, as text;
// "<invalid>" when the text is not JSON, "<null>" when the value is missing.
std::string Json(const std::string &json, const std::string &path)
{
    const auto valid = Query(":memory:", "SELECT json_valid(?1)", {json});
    if (valid.empty() || valid[0][0] != "1") return "<invalid>";
    const auto rows = Query(":memory:", "SELECT json_extract(?1, ?2)", {json, path});
    return rows.empty() ? "<invalid>" : rows[0][0];
}

class LumoServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char &c : name) {
            if (c == '/') c = '_';
        }
        dbPath_ = TmpDir() + "/" + name + ".sqlite";
        std::remove(dbPath_.c_str());
    }

    void StartService(const std::vector<std::string> &extra = {})
    {
        std::vector<std::string> args = {"--port", "0", "--db", dbPath_, "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error;
        ASSERT_TRUE(service_.Start(args, error)) << error;
    }

    httplib::Result Post(const std::string &path, const std::string &body, const char *type = kFormType)
    {
        httplib::Client client("127.0.0.1", service_.Port());
        client.set_read_timeout(10, 0);
        return client.Post(path.c_str(), body, type);
    }

    std::size_t Rows(const char *table)
    {
        const auto rows = Query(dbPath_, std::string("SELECT count(*) FROM ") + table);
        return rows.empty() ? static_cast<std::size_t>(-1) : std::stoul(rows[0][0]);
    }

    std::string dbPath_;
    ServiceProcess service_;
};

TEST_F(LumoServiceTest, VersionReplyNamesTheConfiguredVersion)
{
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{}, "2.2.1"},
        {{"--latest-version", "2.3.0"}, "2.3.0"},
        {{"--latest-version=2.2.1-rc\"1"}, "2.2.1-rc\"1"},  // a quote survives JSON escaping
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        StartService(c.args);
        // The client's request: POST, empty body, Content-Length 0.
        auto res = Post(kVersionPath, "");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(Json(res->body, "$.code"), "200");
        EXPECT_EQ(Json(res->body, "$.model.version"), c.expected);
        EXPECT_EQ(Json(res->body, "$.model.download_url"),
                  "http://127.0.0.1:" + std::to_string(service_.Port()) + "/#/YuvLumo");
        EXPECT_EQ(service_.Stop(), 0);
    }
}

TEST_F(LumoServiceTest, VersionQueryIsChecked)
{
    StartService();
    struct Case {
        const char *target;
        int httpStatus;
        const char *code;
    };
    const Case cases[] = {
        {"/lumo/user/version/get_latest_version?app_name=YUVLumo&t=1", 200, "200"},
        {"/lumo/user/version/get_latest_version?app_name=OtherApp", 200, "404"},
        {"/lumo/user/version/get_latest_version", 400, "400"},
        {"/lumo/user/version/get_latest_version?app_name=%G0", 400, "400"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.target);
        auto res = Post(c.target, "");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.httpStatus);
        EXPECT_EQ(Json(res->body, "$.code"), c.code);
        EXPECT_NE(Json(res->body, "$.message"), "<null>");
    }
}

TEST_F(LumoServiceTest, FeedbackIsStoredDecoded)
{
    StartService();
    struct Case {
        std::string body;
        std::string stored;
    };
    const std::string chinese = "界面很好用，但希望支持 10-bit YUV & P010！";
    const Case cases[] = {
        {"feedback=" + Encode(chinese), chinese},
        {"feedback=" + Encode("a b&c=d+e~%_-."), "a b&c=d+e~%_-."},
        {"feedback=" + Encode("第一行\n第二行\t😀"), "第一行\n第二行\t😀"},
        // Lower-case hex digits and "+" for a space, as browsers write them.
        {"feedback=%e4%bd%a0%e5%a5%bd+ok", "你好 ok"},
    };
    std::int64_t expectedId = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body);
        auto res = Post(kFeedbackPath, c.body);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(Json(res->body, "$.code"), "200");
        EXPECT_EQ(Json(res->body, "$.model.id"), std::to_string(++expectedId));
        const auto rows = Query(dbPath_, "SELECT text, remote_addr FROM feedback WHERE id = ?1",
                                {std::to_string(expectedId)});
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0], c.stored);
        EXPECT_EQ(rows[0][1], "127.0.0.1");
    }
}

TEST_F(LumoServiceTest, BlankFeedbackIsRefusedWithAMessage)
{
    StartService();
    // Well-formed requests: HTTP 200 so the client shows the message.
    for (const char *body : {"feedback=", "feedback=%20%0A%09", "feedback=%E3%80%80"}) {
        SCOPED_TRACE(body);
        auto res = Post(kFeedbackPath, body);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        const std::string code = Json(res->body, "$.code");
        EXPECT_NE(code, "200");
        EXPECT_NE(code, "<invalid>");
        const std::string message = Json(res->body, "$.message");
        EXPECT_FALSE(message.empty());
        EXPECT_NE(message, "<null>");
    }
    EXPECT_EQ(Rows("feedback"), 0u);
}

TEST_F(LumoServiceTest, UsageEventsKeepAllEightFields)
{
    StartService();
    const std::vector<std::vector<std::string>> events = {
        {"INFO", "2.2.1", "Windows", "YUVLumo", "MainWindow", "NULL", "NULL", "[user_email]; [info] NULL"},
        {"INFO", "2.2.1", "Windows", "YUVLumo", "OpenFileDialog", "OpenFile", "OpenFileBtnClick",
         "[user_email]; [info] width:352;height:288;yuvtype:YUV_TYPE_I420;yuvpath:D:/视频/foreman 352x288.yuv"},
        {"ERROR", "2.2.1", "Windows", "YUVLumo", "OpenFileDialog", "OpenFile", "OpenFileError", ""},
    };
    const char *names[] = {"type", "version", "platform", "app", "page", "block", "action", "info"};
    for (const auto &event : events) {
        std::string body;
        for (int i = 0; i < 8; ++i) {
            body += std::string(i ? "&" : "") + names[i] + "=" + Encode(event[static_cast<std::size_t>(i)]);
        }
        SCOPED_TRACE(body);
        auto res = Post(kAnchorPath, body);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(Json(res->body, "$.code"), "200");
    }
    const auto rows = Query(dbPath_,
                            "SELECT \"type\", \"version\", \"platform\", \"app\", \"page\", \"block\", \"action\","
                            " \"info\" FROM usage_event ORDER BY id");
    EXPECT_EQ(rows, events);
}

TEST_F(LumoServiceTest, MalformedRequestsGetAnErrorAndTheServiceGoesOn)
{
    StartService({"--max-body", "65536"});
    auto post = [](const std::string &path, const std::string &body, const std::string &type = kFormType) {
        return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + type +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    std::string eightFields = "type=INFO&version=2.2.1&platform=Windows&app=YUVLumo&page=P&block=B&action=A";

    struct Case {
        const char *what;
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"bad escape", post(kFeedbackPath, "feedback=%zz"), 400},
        {"truncated escape", post(kFeedbackPath, "feedback=abc%4"), 400},
        {"not UTF-8", post(kFeedbackPath, "feedback=%FF%FE"), 400},
        {"NUL byte", post(kFeedbackPath, "feedback=a%00b"), 400},
        {"raw non-ASCII byte", post(kFeedbackPath, "feedback=\xE4\xBD\xA0"), 400},
        {"empty body", post(kFeedbackPath, ""), 400},
        {"field without '='", post(kFeedbackPath, "feedback"), 400},
        {"wrong field name", post(kFeedbackPath, "text=abc"), 400},
        {"repeated field", post(kFeedbackPath, "feedback=a&feedback=b"), 400},
        {"trailing '&'", post(kFeedbackPath, "feedback=a&"), 400},
        {"event without info", post(kAnchorPath, eightFields), 400},
        {"event with extra field", post(kAnchorPath, eightFields + "&info=x&extra=1"), 400},
        {"not a form", post(kFeedbackPath, "{\"feedback\":\"x\"}", "application/json"), 415},
        {"event too large", post(kAnchorPath, eightFields + "&info=" + std::string(70000, 'x')), 413},
        {"GET on a POST path", "GET /lumo/user/feedback/send HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 405},
        {"PUT on a POST path", "PUT /lumo/user/anchor/anchor HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\n\r\na=b",
         405},
        {"POST on the page", post("/", "feedback=x"), 405},
        {"unknown path", post("/lumo/user/feedback/other", "feedback=x"), 404},
        {"garbage request line", "HELLO\r\n\r\n", 400},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string reply = RawExchange(service_.Port(), c.request);
        EXPECT_EQ(RawStatus(reply), c.status) << reply;
        EXPECT_EQ(Json(RawBody(reply), "$.code"), std::to_string(c.status)) << reply;
        ASSERT_TRUE(service_.Running());
        auto res = Post(kVersionPath, "");
        ASSERT_TRUE(res);
        EXPECT_EQ(Json(res->body, "$.code"), "200");
    }
    EXPECT_EQ(Rows("feedback"), 0u);
    EXPECT_EQ(Rows("usage_event"), 0u);
    EXPECT_EQ(service_.Stop(), 0);
}

// Feedback over the body limit used to get HTTP 413, which the program
// shows as a network error. It gets a message instead, after the body has
// been read and dropped; a body declared far larger is answered unread.
TEST_F(LumoServiceTest, FeedbackOverTheLimitGetsAMessage)
{
    StartService({"--max-body", "65536"});
    const std::string head = "POST /lumo/user/feedback/send HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " +
                             std::string(kFormType) + "\r\n";
    std::string chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 3; ++i) chunked += "8000\r\n" + std::string(0x8000, 'a') + "\r\n";
    chunked += "0\r\n\r\n";
    const std::string sent = "feedback=" + std::string(3 << 20, 'x');
    const struct {
        const char *what;
        std::string request;
    } cases[] = {
        {"sent", head + "Content-Length: " + std::to_string(sent.size()) + "\r\n\r\n" + sent},
        {"chunked", chunked},
        {"declared, never sent", head + "Content-Length: 104857600\r\n\r\nfeedback="},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string reply = RawExchange(service_.Port(), c.request);
        EXPECT_EQ(RawStatus(reply), 200) << reply.substr(0, 200);
        EXPECT_EQ(Json(RawBody(reply), "$.code"), "413");
        EXPECT_EQ(Json(RawBody(reply), "$.message"), "反馈内容过长，请删减后再提交");
    }
    EXPECT_EQ(Rows("feedback"), 0u);
}

// A web page in the user's browser posting to the service, as a form or by
// script: refused unless it is one of the service's own pages.
TEST_F(LumoServiceTest, RequestsFromOtherSitesAreRefused)
{
    StartService();
    const std::string own = "http://127.0.0.1:" + std::to_string(service_.Port());
    auto browserPost = [](const char *path, const std::string &headers) {
        const std::string body = std::string(path) == kFeedbackPath
                                     ? "feedback=fake"
                                     : "type=INFO&version=2.2.1&platform=Windows&app=YUVLumo&page=P&block=B"
                                       "&action=A&info=fake";
        return std::string("POST ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Mozilla/5.0\r\n" +
               headers + "Content-Type: " + kFormType + "\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n\r\n" + body;
    };
    const struct {
        const char *path;
        std::string headers;
        int status;
    } cases[] = {
        {kFeedbackPath, "Origin: http://evil.example\r\nReferer: http://evil.example/form.html\r\n", 403},
        {kAnchorPath, "Origin: http://evil.example\r\n", 403},
        {kFeedbackPath, "Origin: null\r\n", 403},
        {kFeedbackPath, "Referer: http://evil.example/\r\n", 403},
        {kFeedbackPath, "Origin: " + own + "0\r\n", 403},
        {kFeedbackPath, "Referer: " + own + ".evil.example/\r\n", 403},
        {kFeedbackPath, "Origin: " + own + "\r\n", 200},
        {kFeedbackPath, "Referer: http://localhost:" + std::to_string(service_.Port()) + "/\r\n", 200},
        {kAnchorPath, "Origin: " + own + "\r\nReferer: " + own + "/\r\n", 200},
    };
    std::size_t accepted = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.headers);
        const std::string reply = RawExchange(service_.Port(), browserPost(c.path, c.headers));
        EXPECT_EQ(RawStatus(reply), c.status) << reply;
        EXPECT_EQ(Json(RawBody(reply), "$.code"), std::to_string(c.status));
        accepted += c.status == 200;
    }
    EXPECT_EQ(Rows("feedback") + Rows("usage_event"), accepted);
}

TEST_F(LumoServiceTest, DownloadPageShowsTheLatestVersion)
{
    StartService({"--latest-version", "3.0<b>"});
    httplib::Client client("127.0.0.1", service_.Port());
    auto res = client.Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type").rfind("text/html", 0), 0u);
    // "#/YuvLumo" in the client's link scrolls to this section.
    EXPECT_NE(res->body.find("id=\"/YuvLumo\""), std::string::npos);
    EXPECT_NE(res->body.find("3.0&lt;b&gt;"), std::string::npos);
    EXPECT_EQ(res->body.find("3.0<b>"), std::string::npos);
}

TEST_F(LumoServiceTest, ConcurrentPostsAreAllStored)
{
    StartService();
    constexpr int kThreads = 4;
    constexpr int kEach = 20;
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            httplib::Client client("127.0.0.1", service_.Port());
            client.set_keep_alive(true);  // the service closes after each reply; the client reconnects
            for (int i = 0; i < kEach; ++i) {
                auto res = client.Post(kFeedbackPath, "feedback=" + Encode("线程 " + std::to_string(t * 100 + i)),
                                       kFormType);
                if (res && res->status == 200) ++ok;
            }
        });
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(ok.load(), kThreads * kEach);
    EXPECT_EQ(Rows("feedback"), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(Query(dbPath_, "SELECT count(DISTINCT text) FROM feedback")[0][0], std::to_string(kThreads * kEach));
}

TEST_F(LumoServiceTest, StoredRowsSurviveARestart)
{
    StartService();
    ASSERT_TRUE(Post(kFeedbackPath, "feedback=first"));
    EXPECT_EQ(service_.Stop(), 0);
    StartService();
    auto res = Post(kFeedbackPath, "feedback=second");
    ASSERT_TRUE(res);
    EXPECT_EQ(Json(res->body, "$.model.id"), "2");
    EXPECT_EQ(Query(dbPath_, "SELECT group_concat(text, ',') FROM feedback")[0][0], "first,second");
}

TEST_F(LumoServiceTest, CommandLine)
{
    std::string output;
    EXPECT_EQ(ServiceProcess::RunToExit({"--help"}, output), 0);
    for (const char *option : {"--port", "--db", "--latest-version", "--max-body", "listening on 127.0.0.1:"}) {
        EXPECT_NE(output.find(option), std::string::npos) << option;
    }

    const std::string notADb = TmpDir() + "/not-a-database.sqlite";
    std::ofstream(notADb) << "this is a text file, not a database, and it is long enough to have a header\n";
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"--bogus"}, 2},
        {{"--port"}, 2},
        {{"--port", "70000"}, 2},
        {{"--port", "-1"}, 2},
        {{"--latest-version", ""}, 2},
        {{"--latest-version", "2 2"}, 2},
        {{"--max-body", "10"}, 2},
        {{"--port", "0", "--db", TmpDir() + "/no/such/dir/x.sqlite"}, 1},
        {{"--port", "0", "--db", notADb}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(ServiceProcess::RunToExit(c.args, output), c.status);
        EXPECT_EQ(output.find("listening"), std::string::npos);
    }

    // A port already taken: status 1, and no database file of its own is
    // left behind.
    StartService();
    EXPECT_EQ(ServiceProcess::RunToExit({"--port", std::to_string(service_.Port()), "--db", dbPath_}, output), 1);
    const std::string secondDb = TmpDir() + "/second-service.sqlite";
    std::remove(secondDb.c_str());
    EXPECT_EQ(ServiceProcess::RunToExit({"--port", std::to_string(service_.Port()), "--db", secondDb}, output), 1);
    EXPECT_NE(access(secondDb.c_str(), F_OK), 0) << secondDb << " was created";
    EXPECT_TRUE(service_.Running());
}

}  // namespace
