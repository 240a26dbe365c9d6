// Clients that send their requests a byte at a time must not keep anyone
// else waiting, and each of them is dropped once its request time is up.
// Loopback only; every loop is bounded in count and time.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "ServiceProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

const char *const kVersionTarget = "/lumo/user/version/get_latest_version?app_name=YUVLumo";
const char *const kFeedbackPath = "/lumo/user/feedback/send";
const char *const kFormType = "application/x-www-form-urlencoded";

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// One request through the HTTP client; its status and how long the answer
// took, -1 when there was none within 10 s.
struct Timed {
    int status = -1;
    long long ms = -1;
};

Timed TimedPost(int port, const std::string &target, const std::string &body)
{
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(10, 0);
    client.set_read_timeout(10, 0);
    const auto start = Clock::now();
    auto res = client.Post(target.c_str(), body, kFormType);
    Timed t;
    t.ms = MsSince(start);
    if (res) t.status = res->status;
    return t;
}

struct SlowClient {
    int fd = -1;
    std::string request;
    std::size_t sent = 0;  // what went out at once; the rest goes a byte a second
    std::string reply;
    bool closed = false;
};

// A service of its own for each test, on a fresh database.
class SlowClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db_ = TmpDir() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".sqlite";
        std::remove(db_.c_str());
        std::string error;
        ASSERT_TRUE(service_.Start({"--port", "0", "--db", db_, "--quiet"}, error)) << error;
    }

    std::string db_;
    ServiceProcess service_;
};

}  // namespace

// Eight clients trickling their headers used to hold all eight workers, and
// every byte restarted the read timeout, so nobody else was ever answered.
TEST_F(SlowClientTest, NormalRequestsAreAnsweredWhileTwoHundredClientsTrickle)
{
    const int port = service_.Port();

    const Timed alone = TimedPost(port, kVersionTarget, "");
    EXPECT_EQ(alone.status, 200);

    // 200 clients in their headers, and 16 more with whole headers that
    // trickle their bodies.
    std::vector<SlowClient> slow(216);
    const std::string headers = std::string("POST ") + kFeedbackPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                "Content-Type: " + kFormType + "\r\nContent-Length: 100\r\n\r\n";
    for (std::size_t i = 0; i < slow.size(); ++i) {
        SlowClient &c = slow[i];
        c.fd = ConnectLoopback(port);
        ASSERT_GE(c.fd, 0);
        if (i < 200) {
            c.request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + std::string(64, 'a') + "\r\n\r\n";
        } else {
            c.request = headers + "feedback=" + std::string(91, 'b');
            ASSERT_EQ(send(c.fd, headers.data(), headers.size(), MSG_NOSIGNAL), static_cast<ssize_t>(headers.size()));
            c.sent = headers.size();
        }
    }

    // The normal requests go out once the slow clients are well under way.
    auto normal = std::async(std::launch::async, [port] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        return std::make_pair(TimedPost(port, kVersionTarget, ""),
                              TimedPost(port, kFeedbackPath, "feedback=" + Encode("慢客户端之间的反馈")));
    });

    // One byte a second from each, until the server has closed them all;
    // bounded at 12 s.
    const auto start = Clock::now();
    auto nextByte = start;
    long long lastClosed = -1;
    for (;;) {
        std::vector<pollfd> open;
        for (const SlowClient &c : slow) {
            if (!c.closed) open.push_back({c.fd, POLLIN, 0});
        }
        if (open.empty() || Clock::now() > start + std::chrono::seconds(12)) break;
        if (Clock::now() >= nextByte) {
            for (SlowClient &c : slow) {
                if (!c.closed && c.sent < c.request.size() &&
                    send(c.fd, c.request.data() + c.sent, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1)
                    ++c.sent;
            }
            nextByte += std::chrono::seconds(1);
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextByte - Clock::now()).count();
        if (poll(open.data(), open.size(), static_cast<int>(std::max<long long>(wait, 0))) <= 0) continue;
        for (const pollfd &p : open) {
            if (!p.revents) continue;
            SlowClient &c = *std::find_if(slow.begin(), slow.end(), [&](const SlowClient &s) { return s.fd == p.fd; });
            char buf[4096];
            const ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                c.reply.append(buf, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EAGAIN) {
                c.closed = true;
                lastClosed = MsSince(start);
            }
        }
    }

    const auto [version, feedback] = normal.get();
    std::printf("answer times: alone %lld ms; with %zu slow clients: version %lld ms, feedback %lld ms\n", alone.ms,
                slow.size(), version.ms, feedback.ms);
    EXPECT_EQ(version.status, 200);
    EXPECT_EQ(feedback.status, 200);
    // A functional bound (the desktop program waits 10 s), not a benchmark.
    EXPECT_LT(version.ms, 2000);
    EXPECT_LT(feedback.ms, 2000);

    // Every slow client is dropped with 408 once its request time is up,
    // although none of them ever stopped sending.
    int timedOut = 0;
    for (const SlowClient &c : slow) {
        if (c.closed && RawStatus(c.reply) == 408) ++timedOut;
        close(c.fd);
    }
    std::printf("slow clients answered 408: %d of %zu, the last closed after %lld ms\n", timedOut, slow.size(),
                lastClosed);
    EXPECT_EQ(timedOut, static_cast<int>(slow.size()));
    EXPECT_EQ(service_.Stop(), 0);
}

// Two Content-Length headers that disagree leave the body's end open to
// interpretation; such a request is refused before anything is read.
TEST_F(SlowClientTest, ConflictingContentLengthsAreRefused)
{
    const std::string body = "feedback=" + Encode("两个长度");
    const std::string n = std::to_string(body.size());
    const struct {
        const char *method;
        std::string lengths;
        int status;
    } cases[] = {
        {"POST", "Content-Length: " + n + "\r\nContent-Length: 3\r\n", 400},
        {"POST", "Content-Length: 3\r\ncontent-length: " + n + "\r\n", 400},
        {"POST", "Content-Length: " + n + "\r\nContent-Length: " + n + "0\r\n", 400},
        {"GET", "Content-Length: 0\r\nContent-Length: 1\r\n", 400},
        // The same length twice (also with leading zeros) is one length.
        {"POST", "Content-Length: " + n + "\r\nContent-Length: " + n + "\r\n", 200},
        {"POST", "Content-Length: " + n + "\r\nContent-Length: 00" + n + "\r\n", 200},
    };
    int stored = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lengths);
        const std::string target = std::string(c.method) == "GET" ? "/" : kFeedbackPath;
        const std::string reply = RawExchange(service_.Port(), std::string(c.method) + " " + target +
                                                                  " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " +
                                                                  kFormType + "\r\n" + c.lengths + "\r\n" + body);
        EXPECT_EQ(RawStatus(reply), c.status) << reply.substr(0, 200);
        if (c.status == 400) {
            EXPECT_NE(RawBody(reply).find("\"code\":400"), std::string::npos) << reply.substr(0, 200);
        } else {
            ++stored;
        }
    }
    EXPECT_EQ(service_.Stop(), 0);
    EXPECT_EQ(Query(db_, "SELECT count(*) FROM feedback")[0][0], std::to_string(stored));
}
