// Sends the real lumo-service a few hundred malformed requests between
// well-formed ones, from a fixed seed, and checks that it keeps answering and
// that its database ends up holding exactly the well-formed events.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ServiceProcess.h"

namespace {

const char *const kVersionTarget = "/lumo/user/version/get_latest_version?app_name=YUVLumo";
const char *const kFeedbackPath = "/lumo/user/feedback/send";
const char *const kAnchorPath = "/lumo/user/anchor/anchor";
const char *const kFormType = "application/x-www-form-urlencoded";
const char *const kEventNames[8] = {"type", "version", "platform", "app", "page", "block", "action", "info"};
// The service's default body limit (its --max-body).
constexpr std::size_t kMaxBody = 256 * 1024;

using Event = std::array<std::string, 8>;

// A form as written on the wire: names and encoded values, joined on demand,
// so that mutations can work on fields.
struct Field {
    std::string name;
    std::string value;
    bool equals = true;  // false: written as the name alone
};

struct Form {
    std::vector<Field> fields;

    std::string Join() const
    {
        std::string out;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i) out += '&';
            out += fields[i].name;
            if (fields[i].equals) out += '=' + fields[i].value;
        }
        return out;
    }
};

Form EventForm(const Event &event)
{
    Form form;
    for (int i = 0; i < 8; ++i) form.fields.push_back({kEventNames[i], Encode(event[i])});
    return form;
}

Form FeedbackForm(const std::string &text)
{
    Form form;
    form.fields.push_back({"feedback", Encode(text)});
    return form;
}

std::string Request(const std::string &method, const std::string &target, const std::string &headers,
                    const std::string &body, const std::string &version = "HTTP/1.1")
{
    return method + " " + target + " " + version + "\r\nHost: 127.0.0.1\r\n" + headers + "\r\n" + body;
}

std::string FormHeaders(std::size_t length)
{
    return std::string("Content-Type: ") + kFormType + "\r\nContent-Length: " + std::to_string(length) + "\r\n";
}

std::string Chunked(const std::string &body, std::size_t pieces)
{
    std::string out;
    const std::size_t step = body.empty() ? 1 : (body.size() + pieces - 1) / pieces;
    char size[32];
    for (std::size_t at = 0; at < body.size(); at += step) {
        const std::string piece = body.substr(at, step);
        std::snprintf(size, sizeof size, "%zx", piece.size());
        out += std::string(size) + "\r\n" + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

enum class Ending { Closed, TimedOut, NoConnection };

// Reads until the server closes (or resets) the connection or the deadline.
Ending ReadToClose(int fd, std::string &reply, std::chrono::steady_clock::time_point deadline)
{
    char buf[8192];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return Ending::TimedOut;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return Ending::TimedOut;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return Ending::Closed;  // orderly close or reset
        reply.append(buf, static_cast<std::size_t>(n));
    }
}

// Sends `request` and reads the reply. `halfClose` ends the sending side
// first, so that a request shorter than it announces ends at once instead of
// at the server's read timeout (the server then may close without a reply).
Ending Exchange(int port, const std::string &request, std::string &reply, bool halfClose = false,
                int timeoutMs = 4000)
{
    reply.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = ConnectLoopback(port, timeoutMs);
    if (fd < 0) return Ending::NoConnection;
    std::size_t sent = 0;
    while (sent < request.size()) {
        // The server may refuse and close before it has read everything.
        const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    if (halfClose) shutdown(fd, SHUT_WR);
    const Ending ending = ReadToClose(fd, reply, deadline);
    close(fd);
    return ending;
}

// A malformed request and a short description of it. Incomplete requests
// end before the server has all they announce.
struct Mutation {
    std::string request;
    std::string what;
    bool incomplete = false;
    // Feedback over the body limit: HTTP 200 with code 413 and a message.
    bool tooLongFeedback = false;
};

// Makes well-formed events and feedback texts and malformed requests from
// one fixed-seed generator.
class Generator {
public:
    explicit Generator(std::uint32_t seed) : rng_(seed) {}

    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    bool Chance(int percent) { return static_cast<int>(Pick(100)) < percent; }

    // Text as users and file names produce it: Chinese, spaces, and the
    // characters with a meaning in forms.
    std::string Text(std::size_t maxPieces)
    {
        static const char *const pieces[] = {
            "中文",  "测试 文本", "a&b", "x=y", "100%", "+plus+", "~_-.", "路径/目录\\file.yuv", " ",
            "😀",     "\t",       "\n",  "YUV420p", "1920", "%41", "?q#f", "\"'<>", "，。", "\u3000"};
        std::string out;
        const std::size_t n = Pick(maxPieces + 1);
        for (std::size_t i = 0; i < n; ++i) out += pieces[Pick(sizeof pieces / sizeof *pieces)];
        return out;
    }

    Event WellFormedEvent(std::size_t serial)
    {
        static const char *const pages[] = {"MainWindow", "AboutWindow", "OpenFileDialog", "LumoImageView"};
        Event e;
        e[0] = Chance(80) ? "INFO" : "ERROR";
        e[1] = "2.2.1";
        e[2] = "Windows";
        e[3] = "YUVLumo";
        e[4] = pages[Pick(4)];
        e[5] = Chance(30) ? std::string("NULL") : Text(3);
        e[6] = Chance(30) ? std::string() : Text(3);  // an empty value is well-formed
        e[7] = "[user_email]; [info] #" + std::to_string(serial) + " " + Text(8);
        return e;
    }

    std::string WellFormedFeedback(std::size_t serial)
    {
        return "反馈 #" + std::to_string(serial) + " " + Text(10);
    }

    // The body mutations below each break the form in a way the service must
    // refuse.
    Mutation Malformed()
    {
        const bool event = Chance(60);
        Form form = event ? EventForm(WellFormedEvent(900000 + Pick(1000))) : FeedbackForm(WellFormedFeedback(0));
        const std::string path = event ? kAnchorPath : kFeedbackPath;
        const char *kind = event ? " (event)" : " (feedback)";

        switch (Pick(13)) {
        case 0:
        case 1:
        case 2: {
            const std::string what = BreakForm(form);
            const std::string body = form.Join();
            return {Request("POST", path, FormHeaders(body.size()), body), what + kind};
        }
        case 3: {
            // A field of 10 KB to 1 MB; within the body limit it also gets a
            // second fault.
            auto &field = form.fields[Pick(form.fields.size())];
            const double exponent = std::uniform_real_distribution<double>(std::log(10e3), std::log(1e6))(rng_);
            const auto size = static_cast<std::size_t>(std::exp(exponent));
            const std::string unit = Chance(50) ? "%E4%B8%AD" : "abcdefghij";
            while (field.value.size() < size) field.value += unit;
            std::string what = "field '" + field.name + "' of " + std::to_string(field.value.size()) + " bytes";
            if (form.Join().size() <= kMaxBody) what += ", " + BreakForm(form);
            const std::string body = form.Join();
            return {Request("POST", path, FormHeaders(body.size()), body), what + kind, false,
                    body.size() > kMaxBody && !event};
        }
        case 4: {
            // Well-formed apart from its size.
            auto &last = form.fields.back();
            while (last.value.size() < kMaxBody + 1 + Pick(64 * 1024)) last.value += "%E5%9B%BE";
            const std::string body = form.Join();
            if (Chance(50)) {
                return {Request("POST", path, "Content-Type: " + std::string(kFormType) +
                                                  "\r\nTransfer-Encoding: chunked\r\n",
                                Chunked(body, 1 + Pick(20))),
                        "chunked body over the limit" + std::string(kind), false, !event};
            }
            return {Request("POST", path, FormHeaders(body.size()), body), "body over the limit" + std::string(kind),
                    false, !event};
        }
        case 5: {
            static const char *const types[] = {
                "text/plain", "application/json", "multipart/form-data; boundary=x",
                "application/x-www-form-urlencodedx", "application/x-www-form-urlencoded, text/plain", "",
                "application/x-www-form", nullptr};
            const char *type = types[Pick(sizeof types / sizeof *types)];
            const std::string body = form.Join();
            std::string headers = "Content-Length: " + std::to_string(body.size()) + "\r\n";
            if (type) headers += std::string("Content-Type: ") + type + "\r\n";
            return {Request("POST", path, headers, body),
                    std::string("Content-Type '") + (type ? type : "<none>") + "'" + kind};
        }
        case 6: {
            const std::string body = form.Join();
            if (Chance(50)) {
                const std::size_t length = body.size() + 1 + Pick(1000);
                return {Request("POST", path, FormHeaders(length), body),
                        "Content-Length " + std::to_string(length) + " for " + std::to_string(body.size()) +
                            " bytes" + kind,
                        true};
            }
            // Shorter: cut no later than the last "=", so the part read lacks
            // a field or ends in a field without "=".
            const std::size_t length = Pick(body.rfind('=') + 1);
            return {Request("POST", path, FormHeaders(length), body),
                    "Content-Length " + std::to_string(length) + " for " + std::to_string(body.size()) + " bytes" +
                        kind};
        }
        case 7: return BadChunks(path, form, kind);
        case 8: {
            static const char *const encodings[] = {"gzip", "deflate"};
            const char *encoding = encodings[Pick(2)];
            const std::string body = form.Join();
            return {Request("POST", path, FormHeaders(body.size()) + "Content-Encoding: " + encoding + "\r\n", body),
                    std::string("plain body labelled ") + encoding + kind};
        }
        case 9: {
            std::string garbage(1 + Pick(4096), '\0');
            for (char &c : garbage) c = static_cast<char>(Pick(256));
            if (Chance(50)) return {garbage, "binary garbage instead of a request", true};
            return {Request("POST", path, FormHeaders(garbage.size()), garbage), "binary garbage body" +
                                                                                     std::string(kind)};
        }
        case 10: return BadRequestLine(path, form.Join(), kind);
        case 11: return BadHeaders(path, form.Join(), kind);
        default: {
            // The other path's form.
            const std::string body = form.Join();
            const std::string other = event ? kFeedbackPath : kAnchorPath;
            return {Request("POST", other, FormHeaders(body.size()), body), "sent to the other path" +
                                                                                std::string(kind)};
        }
        }
    }

private:
    // Applies one fault to the form and describes it.
    std::string BreakForm(Form &form)
    {
        auto &field = form.fields[Pick(form.fields.size())];
        switch (Pick(8)) {
        case 0: {
            // Escapes that are bad wherever they stand.
            static const char *const escapes[] = {"%G1", "%00", "%zz", "%-1", "%%41", "% 4"};
            const char *escape = escapes[Pick(sizeof escapes / sizeof *escapes)];
            std::string &target = Chance(80) ? field.value : field.name;
            target.insert(Pick(target.size() + 1), escape);
            return std::string("escape '") + escape + "' in '" + field.name + "'";
        }
        case 1: {
            // Escapes cut short: at the end of a value, or before a non-hex character.
            static const char *const escapes[] = {"%", "%4", "%0", "%E"};
            const char *escape = escapes[Pick(sizeof escapes / sizeof *escapes)];
            if (Chance(50)) {
                field.value += escape;
            } else {
                field.value.insert(Pick(field.value.size() + 1), std::string(escape) + "Z");
            }
            return std::string("truncated escape '") + escape + "' in '" + field.name + "'";
        }
        case 2: {
            // Raw bytes that must be escaped: high bytes, controls, space, NUL.
            static const char specials[] = {'\0', '\t', '\r', '\n', ' ', '\x1b', '\x7f'};
            const char byte = Chance(60) ? static_cast<char>(0x80 + Pick(0x80)) : specials[Pick(sizeof specials)];
            std::string &target = Chance(80) ? field.value : field.name;
            target.insert(Pick(target.size() + 1), 1, byte);
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(byte));
            return std::string("raw byte 0x") + hex + " in '" + field.name + "'";
        }
        case 3: {
            // Escaped bytes that do not make UTF-8.
            static const char *const bad[] = {"%FF", "%C0%AF", "%E4%B8", "%ED%A0%80", "%80", "%F4%90%80%80"};
            const char *bytes = bad[Pick(sizeof bad / sizeof *bad)];
            field.value += bytes;
            return std::string("non-UTF-8 '") + bytes + "' in '" + field.name + "'";
        }
        case 4: {
            const std::size_t i = Pick(form.fields.size());
            if (form.fields.size() > 1 && Chance(50)) {
                // Drop an "&": two fields run together.
                const std::size_t j = i + 1 < form.fields.size() ? i : i - 1;
                form.fields[j].value += form.fields[j + 1].name + "=" + form.fields[j + 1].value;
                form.fields.erase(form.fields.begin() + static_cast<long>(j) + 1);
                return "missing '&' after '" + form.fields[j].name + "'";
            }
            // Drop an "=".
            form.fields[i].equals = false;
            form.fields[i].name += form.fields[i].value;
            return "missing '=' in '" + form.fields[i].name.substr(0, 16) + "'";
        }
        case 5: {
            const auto copy = field;
            form.fields.insert(form.fields.begin() + static_cast<long>(Pick(form.fields.size() + 1)), copy);
            return "duplicated field '" + copy.name + "'";
        }
        case 6: {
            const std::size_t i = Pick(form.fields.size());
            const std::string name = form.fields[i].name;
            form.fields.erase(form.fields.begin() + static_cast<long>(i));
            return "missing field '" + name + "'";
        }
        default: {
            static const char *const names[] = {"extra", "Type", "info2", "feedback", "type", "INFO", "%69nfo"};
            std::string name = names[Pick(sizeof names / sizeof *names)];
            // A name the form already has would only be a duplicate.
            for (const auto &f : form.fields) {
                if (f.name == name || (name == "%69nfo" && f.name == "info")) name = "extra";
            }
            if (Chance(25)) {
                // Empty segments and empty names.
                static const Field shapes[] = {{"", "", false}, {"", ""}, {"", "x"}};
                const Field &shape = shapes[Pick(3)];
                form.fields.insert(form.fields.begin() + static_cast<long>(Pick(form.fields.size() + 1)), shape);
                return shape.equals ? "empty field name" : "empty segment";
            }
            form.fields.insert(form.fields.begin() + static_cast<long>(Pick(form.fields.size() + 1)),
                               Field{name, Encode(Text(2))});
            return "extra field '" + name + "'";
        }
        }
    }

private:
    Mutation BadChunks(const std::string &path, Form &form, const char *kind)
    {
        const std::string headers = "Content-Type: " + std::string(kFormType) + "\r\nTransfer-Encoding: chunked\r\n";
        if (Chance(40)) {
            const std::string what = BreakForm(form);
            return {Request("POST", path, headers, Chunked(form.Join(), 1 + Pick(5))), "chunked, " + what + kind};
        }
        const std::string body = form.Join();
        std::string chunks = Chunked(body, 1 + Pick(4));
        std::string what;
        bool incomplete = true;
        switch (Pick(5)) {
        case 0:
            chunks.resize(chunks.size() - 5);  // no last chunk
            what = "chunked without the last chunk";
            break;
        case 1:
            chunks = "zz\r\n" + chunks;
            what = "chunk size 'zz'";
            incomplete = false;
            break;
        case 2:
            chunks = "FFFFFFFFFFFFFFFFFFFF\r\n" + chunks;
            what = "chunk size overflowing";
            break;
        case 3: {
            char size[32];
            std::snprintf(size, sizeof size, "%zx", body.size() + 1 + Pick(100));
            chunks = std::string(size) + "\r\n" + body + "\r\n0\r\n\r\n";
            what = "chunk size larger than its data";
            break;
        }
        default:
            chunks = Chunked(body.substr(0, body.rfind('=')), 1) + "garbage";
            what = "chunks of a cut body, then garbage";
            incomplete = false;
            break;
        }
        return {Request("POST", path, headers, chunks), what + kind, incomplete};
    }

    Mutation BadHeaders(const std::string &path, const std::string &body, const char *kind)
    {
        const std::string type = std::string("Content-Type: ") + kFormType + "\r\n";
        switch (Pick(3)) {
        case 0: {
            // Content-Length values that are no plain count, or an absurd one.
            static const char *const lengths[] = {"+18", "-1", "0x12", "18.0", "1e3", "", "18446744073709551616",
                                                  "99999999999999999999", "9999999999999999999", "١٨"};
            const std::string length = lengths[Pick(sizeof lengths / sizeof *lengths)];
            return {Request("POST", path, type + "Content-Length: " + length + "\r\n", body),
                    "Content-Length '" + length + "'" + kind};
        }
        case 1: {
            const std::string header = "X-Filler: " + std::string(64 * 1024 + Pick(200 * 1024), 'h') + "\r\n";
            return {Request("POST", path, FormHeaders(body.size()) + header, body),
                    "header line of " + std::to_string(header.size()) + " bytes" + kind};
        }
        default: {
            static const char *const codings[] = {"gzip, chunked", "chunked, gzip", "deflate, chunked"};
            const std::string coding = codings[Pick(sizeof codings / sizeof *codings)];
            return {Request("POST", path, type + "Transfer-Encoding: " + coding + "\r\n", Chunked(body, 2)),
                    "Transfer-Encoding '" + coding + "'" + kind};
        }
        }
    }

    Mutation BadRequestLine(const std::string &path, const std::string &body,
                                                       const char *kind)
    {
        const std::string headers = FormHeaders(body.size());
        switch (Pick(4)) {
        case 0: {
            static const char *const methods[] = {"GET", "PUT", "DELETE", "PATCH", "OPTIONS", "HEAD",
                                                  "FOO", "post", "P0ST", "CONNECT", "TRACE"};
            const std::string method = methods[Pick(sizeof methods / sizeof *methods)];
            return {Request(method, path, headers, body), "method " + method + kind};
        }
        case 1: {
            static const char *const paths[] = {"/", "/lumo/user/anchor/anchor/", "/lumo/user/anchor",
                                                "/LUMO/user/anchor/anchor", "/lumo/user/feedback/send/x",
                                                "/lumo/user/feedback", "*", "anchor", "/favicon.ico",
                                                "/lumo/user/version/get_latest_version/x"};
            const std::string target = paths[Pick(sizeof paths / sizeof *paths)];
            return {Request("POST", target, headers, body), "path " + target + kind};
        }
        case 2: {
            static const char *const versions[] = {"HTTP/9.9", "HTTP/1.1x", "HTTP/1", "FTP/1.1"};
            const std::string version = versions[Pick(sizeof versions / sizeof *versions)];
            return {Request("POST", path, headers, body, version), "version " + version + kind};
        }
        default: {
            const std::string target = path + "?" + std::string(9000 + Pick(20000), 'q');
            return {Request("POST", target, headers, body), "request target of " +
                                                                std::to_string(target.size()) + " bytes" + kind};
        }
        }
    }

    std::mt19937 rng_;
};

}  // namespace

namespace {

bool IsEnvelope(const std::string &body, int code)
{
    return body.find("\"code\":" + std::to_string(code)) != std::string::npos;
}

std::string Short(const std::string &text)
{
    return text.size() <= 120 ? text : text.substr(0, 120) + "... (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace

// A Transfer-Encoding other than plain "chunked" left the service reading the
// body until the client closed the connection (or its read timeout passed).
TEST(ServiceFuzzTest, NonChunkedTransferEncodingIsRefusedWithoutWaitingForClose)
{
    const std::string db = TmpDir() + "/service_fuzz_te.sqlite";
    std::remove(db.c_str());
    ServiceProcess service;
    std::string error;
    ASSERT_TRUE(service.Start({"--port", "0", "--db", db, "--quiet"}, error)) << error;

    const std::string body = FeedbackForm("反馈 & 测试").Join();
    const std::string type = std::string("Content-Type: ") + kFormType + "\r\n";
    struct Case {
        const char *method;
        const char *path;
        std::string headers;
        std::string body;
    };
    std::vector<Case> cases;
    for (const char *coding : {"gzip", "deflate, chunked", "gzip, chunked", "chunked, gzip", "identity", "chunked;x"}) {
        const std::string te = std::string("Transfer-Encoding: ") + coding + "\r\n";
        cases.push_back({"POST", kFeedbackPath, type + te, Chunked(body, 2)});
        cases.push_back({"POST", kAnchorPath, type + te, body});
        cases.push_back({"POST", kFeedbackPath, type + te + "Content-Length: " + std::to_string(body.size()) + "\r\n",
                         body});
        cases.push_back({"GET", "/", te, "x"});
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path + " " + c.headers);
        std::string reply;
        // The sending side stays open, and the wait is shorter than the
        // server's read timeout.
        EXPECT_EQ(Exchange(service.Port(), Request(c.method, c.path, c.headers, c.body), reply, false, 3000),
                  Ending::Closed);
        EXPECT_EQ(RawStatus(reply), 400) << Short(reply);
        EXPECT_TRUE(IsEnvelope(RawBody(reply), 400)) << Short(reply);
    }

    // Chunks in any letter case are still read.
    std::string reply;
    EXPECT_EQ(Exchange(service.Port(), Request("POST", kFeedbackPath, type + "Transfer-Encoding: Chunked\r\n",
                                               Chunked(body, 3)),
                       reply),
              Ending::Closed);
    EXPECT_EQ(RawStatus(reply), 200) << Short(reply);
    EXPECT_EQ(service.Stop(), 0);
    const std::vector<std::vector<std::string>> expected = {{"反馈 & 测试"}};
    EXPECT_EQ(Query(db, "SELECT text FROM feedback"), expected);
}

TEST(ServiceFuzzTest, MalformedRequestsAreRefusedAndOnlyWellFormedOnesStored)
{
    const std::string db = TmpDir() + "/service_fuzz.sqlite";
    std::remove(db.c_str());
    ServiceProcess service;
    std::string error;
    ASSERT_TRUE(service.Start({"--port", "0", "--db", db, "--quiet"}, error)) << error;
    const int port = service.Port();

    // Two clients that stall for the whole run, one inside its headers and
    // one inside its body: the server must drop them by its read timeout and
    // keep serving everyone else meanwhile.
    const auto stallStart = std::chrono::steady_clock::now();
    const std::string stallRequests[] = {
        "POST /lumo/user/anchor/anchor HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Ty",
        Request("POST", kAnchorPath, FormHeaders(100), "type=INFO&version="),
    };
    std::vector<int> stalled;
    for (const std::string &request : stallRequests) {
        const int fd = ConnectLoopback(port, 2000);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
        stalled.push_back(fd);
    }

    Generator gen(20261207u);
    std::vector<std::vector<std::string>> events;  // as the database must hold them
    std::vector<std::vector<std::string>> feedback;

    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(2, 0);
    client.set_read_timeout(4, 0);

    // One well-formed request, by turns through the HTTP client, in chunks
    // and with a large value; it must be answered with success.
    auto sendWellFormed = [&](std::size_t serial) {
        const bool isEvent = serial % 2 == 0;
        Event event = gen.WellFormedEvent(serial);
        std::string text = gen.WellFormedFeedback(serial);
        const int style = static_cast<int>(serial / 2 % 3);
        if (style == 2) {
            // Large but within the body limit: 6000 to 8000 Chinese characters
            // are 54 to 72 KB encoded.
            const std::size_t count = 6000 + gen.Pick(2001);
            std::string &target = isEvent ? event[7] : text;
            for (std::size_t k = 0; k < count; ++k) target += "图";
        }
        const std::string body = (isEvent ? EventForm(event) : FeedbackForm(text)).Join();
        const char *path = isEvent ? kAnchorPath : kFeedbackPath;
        int status = -1;
        std::string replyBody;
        if (style == 0) {
            auto res = client.Post(path, body, kFormType);
            if (res) {
                status = res->status;
                replyBody = res->body;
            }
        } else {
            const std::string request =
                style == 1 ? Request("POST", path,
                                     std::string("Content-Type: ") + kFormType +
                                         "; charset=UTF-8\r\nTransfer-Encoding: chunked\r\n",
                                     Chunked(body, 1 + gen.Pick(6)))
                           : Request("POST", path, FormHeaders(body.size()), body);
            std::string reply;
            Exchange(port, request, reply);
            status = RawStatus(reply);
            replyBody = RawBody(reply);
        }
        EXPECT_EQ(status, 200) << "well-formed request " << serial << " (style " << style << ")";
        EXPECT_TRUE(IsEnvelope(replyBody, 200)) << Short(replyBody);
        if (isEvent) {
            events.emplace_back(event.begin(), event.end());
        } else {
            feedback.push_back({text});
        }
    };

    constexpr int kRequests = 400;
    std::size_t wellFormed = 0;
    int answered = 0;
    for (int i = 0; i < kRequests; ++i) {
        if (i % 10 == 9) {
            sendWellFormed(wellFormed++);
        } else {
            const Mutation m = gen.Malformed();
            const std::string where = "request " + std::to_string(i) + " (" + m.what + ")";
            std::string reply;
            const Ending ending = Exchange(port, m.request, reply, m.incomplete);
            ASSERT_NE(ending, Ending::NoConnection) << where << ": no connection";
            ASSERT_NE(ending, Ending::TimedOut) << where << ": no answer, no close";
            // A complete request small enough to be sent whole before the
            // server answers must get an answer; others may just be closed.
            if (!m.incomplete && m.request.size() <= 32 * 1024) {
                EXPECT_FALSE(reply.empty()) << where << ": closed without an answer";
            }
            if (!reply.empty()) {
                const int status = RawStatus(reply);
                const std::string body = RawBody(reply);
                if (m.tooLongFeedback) {
                    EXPECT_EQ(status, 200) << where << ": " << Short(reply);
                    EXPECT_TRUE(IsEnvelope(body, 413)) << where << ": " << body;
                } else {
                    EXPECT_TRUE(status >= 400 && status <= 599) << where << ": " << Short(reply);
                    if (!body.empty() && body.back() == '}') {
                        EXPECT_TRUE(IsEnvelope(body, status)) << where << ": " << body;
                    }
                }
                ++answered;
            }
        }
        ASSERT_TRUE(service.Running()) << "the service ended after request " << i;
        if (i % 50 == 49) {
            auto res = client.Post(kVersionTarget, "", kFormType);
            ASSERT_TRUE(res) << "version request after request " << i;
            EXPECT_EQ(res->status, 200);
            EXPECT_TRUE(IsEnvelope(res->body, 200)) << res->body;
        }
    }

    // Most malformed requests are answered, not just dropped.
    EXPECT_GT(answered, kRequests / 2);

    for (int fd : stalled) {
        std::string reply;
        EXPECT_EQ(ReadToClose(fd, reply, stallStart + std::chrono::seconds(9)), Ending::Closed)
            << "a stalled client was never dropped";
        if (!reply.empty()) {
            EXPECT_GE(RawStatus(reply), 400) << Short(reply);
        }
        close(fd);
    }

    EXPECT_EQ(service.Stop(), 0);

    const auto storedEvents =
        Query(db, "SELECT type, version, platform, app, page, block, action, info FROM usage_event ORDER BY id");
    const auto storedFeedback = Query(db, "SELECT text FROM feedback ORDER BY id");
    ASSERT_EQ(events.size() + feedback.size(), wellFormed);
    EXPECT_EQ(storedEvents.size(), events.size());
    EXPECT_EQ(storedFeedback.size(), feedback.size());
    for (std::size_t i = 0; i < std::min(storedEvents.size(), events.size()); ++i) {
        for (std::size_t f = 0; f < 8; ++f) {
            EXPECT_TRUE(storedEvents[i][f] == events[i][f])
                << "event " << i << " field " << kEventNames[f] << ": stored '" << Short(storedEvents[i][f])
                << "', sent '" << Short(events[i][f]) << "'";
        }
    }
    for (std::size_t i = 0; i < std::min(storedFeedback.size(), feedback.size()); ++i) {
        EXPECT_TRUE(storedFeedback[i] == feedback[i])
            << "feedback " << i << ": stored '" << Short(storedFeedback[i][0]) << "', sent '"
            << Short(feedback[i][0]) << "'";
    }
    // Nothing but the two tables (and SQLite's own counter table).
    const auto tables = Query(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    const std::vector<std::vector<std::string>> expectedTables = {{"feedback"}, {"sqlite_sequence"}, {"usage_event"}};
    EXPECT_EQ(tables, expectedTables);
}
