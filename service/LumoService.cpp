#include "service/LumoService.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <httplib.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <iterator>
#include <mutex>
#include <string_view>

#include "service/DownloadPage.h"
#include "service/EventStore.h"
#include "service/FormData.h"
#include "service/JsonReply.h"

namespace lumo::service {

namespace {

const char *const kJsonType = "application/json; charset=utf-8";
const char *const kLoopback = "127.0.0.1";
const char *const kFeedbackTooLong = "反馈内容过长，请删减后再提交";

const char *ReasonText(int status)
{
    switch (status) {
    case 400: return "bad request";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 408: return "request timeout";
    case 411: return "length required";
    case 413: return "request body too large";
    case 414: return "request target too long";
    case 415: return "unsupported media type";
    case 416: return "range not satisfiable";
    case 500: return "internal error";
    default: return "error";
    }
}

void SendJson(httplib::Response &res, int httpStatus, const std::string &json)
{
    res.status = httpStatus;
    res.set_content(json, kJsonType);
}

void SendError(httplib::Response &res, int httpStatus, const std::string &message)
{
    SendJson(res, httpStatus, ReplyJson(httpStatus, message));
}

// `text` begins with `lowerPrefix`, letters compared in any case.
bool StartsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix)
{
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != lowerPrefix[i]) return false;
    }
    return true;
}

bool IsFormContentType(const std::string &value)
{
    static const std::string_view kForm = "application/x-www-form-urlencoded";
    if (!StartsWithIgnoringCase(value, kForm)) return false;
    // Parameters such as "; charset=UTF-8" may follow.
    const std::string_view rest = std::string_view(value).substr(kForm.size());
    const std::size_t firstNonSpace = rest.find_first_not_of(" \t");
    return firstNonSpace == std::string_view::npos || rest[firstNonSpace] == ';';
}

bool IsChunkedCoding(const std::string &value)
{
    return value.size() == 7 && StartsWithIgnoringCase(value, "chunked");
}

// Full-width and no-break spaces count too: Chinese input methods type them.
bool IsBlankText(const std::string &text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') {
            ++i;
        } else if (text.compare(i, 2, "\xC2\xA0") == 0) {
            i += 2;
        } else if (text.compare(i, 3, "\xE3\x80\x80") == 0) {
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

// A Host header fit to put back into a link: host name or address and port.
bool IsSafeHost(const std::string &host)
{
    if (host.empty() || host.size() > 255) return false;
    for (char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '-' || c == ':' || c == '[' || c == ']';
        if (!ok) return false;
    }
    return true;
}

// Request lines go to the log; keep them on one line and short.
std::string LogSafe(std::string_view text)
{
    std::string out;
    for (char c : text.substr(0, 200)) {
        const auto u = static_cast<unsigned char>(c);
        out.push_back(u < 0x20 || u == 0x7F ? '?' : c);
    }
    if (text.size() > 200) out += "...";
    return out;
}

using Clock = RequestGate::Clock;

constexpr std::chrono::milliseconds kWriteTimeout{5000};

bool WaitFor(int fd, short events, std::chrono::milliseconds timeout)
{
    const Clock::time_point end = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

void Address(const sockaddr_storage &addr, std::string &ip, int &port)
{
    char text[INET6_ADDRSTRLEN] = "";
    if (addr.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(addr);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        port = ntohs(in.sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(addr);
        inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
        port = ntohs(in6.sin6_port);
    }
    ip = text;
}

// A connection the gate handed on: first what the gate read of it, then the
// socket, all of it by the request's deadline. Writes wait up to
// kWriteTimeout each.
class GateStream : public httplib::Stream {
public:
    GateStream(int fd, const std::string &received, Clock::time_point deadline)
        : fd_(fd), buffer_(received), deadline_(deadline)
    {
    }

    bool is_readable() const override { return at_ < buffer_.size() || WaitFor(fd_, POLLIN, Left()); }
    bool is_writable() const override { return WaitFor(fd_, POLLOUT, kWriteTimeout); }

    ssize_t read(char *ptr, size_t size) override
    {
        while (at_ >= buffer_.size()) {
            if (!WaitFor(fd_, POLLIN, Left())) return -1;
            char chunk[16 * 1024];
            const ssize_t n = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n == 0) return 0;
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
                return -1;
            }
            buffer_.assign(chunk, static_cast<std::size_t>(n));
            at_ = 0;
        }
        const std::size_t n = std::min(size, buffer_.size() - at_);
        std::copy_n(buffer_.data() + at_, n, ptr);
        at_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char *ptr, size_t size) override
    {
        for (;;) {
            if (!is_writable()) return -1;
            const ssize_t n = send(fd_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return n;
        }
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        if (getpeername(fd_, reinterpret_cast<sockaddr *>(&addr), &length) == 0) Address(addr, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        if (getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &length) == 0) Address(addr, ip, port);
    }
    socket_t socket() const override { return fd_; }

private:
    std::chrono::milliseconds Left() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
    }

    int fd_;
    std::string buffer_;
    std::size_t at_ = 0;
    Clock::time_point deadline_;
};

}  // namespace

// The library's request handling, fed by the gate instead of its own accept
// loop.
class GatedServer : public httplib::Server {
public:
    void Serve(int fd, const std::string &received, Clock::time_point deadline)
    {
        GateStream stream(fd, received, deadline);
        bool closed = false;
        process_request(stream, true, closed, nullptr);
    }
};

LumoService::LumoService(const ServiceOptions &options)
    : options_(options), server_(std::make_unique<GatedServer>()), gate_(RequestGate::Limits())
{
    Route();
}

LumoService::~LumoService() = default;

void LumoService::Route()
{
    httplib::Server &svr = *server_;
    svr.set_payload_max_length(options_.maxBody + kDrainLimit);

    using httplib::ContentReader;
    using httplib::Request;
    using httplib::Response;

    // Refuse what is known from the headers before anything reads the body.
    svr.set_pre_routing_handler([this](const Request &req, Response &res) {
        if (req.method != "GET" && req.method != "HEAD" && !IsSameOrigin(req)) {
            SendError(res, 403, "cross-origin request refused");
            return httplib::Server::HandlerResponse::Handled;
        }
        // The library frames a body by chunks only when the coding is exactly
        // "chunked"; with any other coding it would read until the client
        // closes, so such a request is refused before its body is read.
        if (req.has_header("Transfer-Encoding") && !IsChunkedCoding(req.get_header_value("Transfer-Encoding"))) {
            SendError(res, 400, "unsupported Transfer-Encoding");
            return httplib::Server::HandlerResponse::Handled;
        }
        const std::size_t lengths = req.get_header_value_count("Content-Length");
        if (lengths == 0 || (lengths == 1 && req.get_header_value("Content-Length").empty()))
            return httplib::Server::HandlerResponse::Unhandled;
        unsigned long long declared = 0;
        for (std::size_t i = 0; i < lengths; ++i) {
            const std::string length = req.get_header_value("Content-Length", i);
            if (length.empty() || length.size() > 19 || length.find_first_not_of("0123456789") != std::string::npos) {
                SendError(res, 400, "bad Content-Length");
                return httplib::Server::HandlerResponse::Handled;
            }
            // Copies of one length are that length; lengths that differ
            // leave the end of the body open to interpretation.
            const unsigned long long value = std::stoull(length);
            if (i > 0 && value != declared) {
                SendError(res, 400, "conflicting Content-Length");
                return httplib::Server::HandlerResponse::Handled;
            }
            declared = value;
        }
        if (declared <= options_.maxBody) return httplib::Server::HandlerResponse::Unhandled;
        // Feedback the program sends whole gets a message it can show: the
        // handler reads and drops a body of moderate excess first; beyond
        // that the message goes out at once, unread body or not.
        if (req.path != kFeedbackPath) {
            SendError(res, 413, "request body too large");
        } else if (declared <= options_.maxBody + kDrainLimit) {
            return httplib::Server::HandlerResponse::Unhandled;
        } else {
            SendJson(res, 200, ReplyJson(413, kFeedbackTooLong));
        }
        return httplib::Server::HandlerResponse::Handled;
    });

    // The POST routes read their bodies themselves: the library's own form
    // handling caps form bodies at 8 KiB and decodes leniently.
    svr.Post(kVersionPath, [this](const Request &req, Response &res, const ContentReader &reader) {
        HandleVersion(req, res, reader);
    });
    svr.Post(kFeedbackPath, [this](const Request &req, Response &res, const ContentReader &reader) {
        HandleFeedback(req, res, reader);
    });
    svr.Post(kAnchorPath, [this](const Request &req, Response &res, const ContentReader &reader) {
        HandleAnchor(req, res, reader);
    });

    // The client's download link is "/#/YuvLumo". A browser never sends the
    // part after "#", so the request arrives as "/" and the page's element
    // with the id "/YuvLumo" is what the browser scrolls to.
    svr.Get("/", [this](const Request &req, Response &res) { HandlePage(req, res); });

    auto notAllowed = [](const char *allow) {
        return [allow](const Request &, Response &res) {
            SendError(res, 405, "method not allowed");
            res.set_header("Allow", allow);
        };
    };
    for (const char *path : {kVersionPath, kFeedbackPath, kAnchorPath}) {
        svr.Get(path, notAllowed("POST"));
        svr.Put(path, notAllowed("POST"));
        svr.Patch(path, notAllowed("POST"));
        svr.Delete(path, notAllowed("POST"));
        svr.Options(path, notAllowed("POST"));
    }
    svr.Post("/", notAllowed("GET, HEAD"));
    svr.Put("/", notAllowed("GET, HEAD"));
    svr.Patch("/", notAllowed("GET, HEAD"));
    svr.Delete("/", notAllowed("GET, HEAD"));
    svr.Options("/", notAllowed("GET, HEAD"));

    // Every error the library answers by itself (unknown path, unreadable
    // request, body over the limit) still gets the JSON envelope.
    svr.set_error_handler(httplib::Server::Handler([](const Request &, Response &res) {
        if (res.body.empty()) {
            res.set_content(ReplyJson(res.status, ReasonText(res.status)), kJsonType);
        }
    }));
    svr.set_exception_handler([](const Request &, Response &res, std::exception_ptr) {
        SendError(res, 500, "internal error");
    });

    if (!options_.quiet) {
        svr.set_logger([](const Request &req, const Response &res) {
            static std::mutex logMutex;
            std::lock_guard<std::mutex> lock(logMutex);
            std::cerr << req.remote_addr << ' ' << LogSafe(req.method) << ' ' << LogSafe(req.path) << ' '
                      << res.status << std::endl;
        });
    }
}

int LumoService::Bind()
{
    port_ = gate_.Bind(options_.port);
    return port_;
}

bool LumoService::Run(EventStore &store)
{
    store_ = &store;
    return gate_.Run([this](int fd, const std::string &received, Clock::time_point deadline) {
        server_->Serve(fd, received, deadline);
    });
}

void LumoService::Stop()
{
    gate_.Stop();
}

bool LumoService::ReadBody(const httplib::Request &req, const httplib::ContentReader &reader,
                           httplib::Response &res, std::string &body, const char *tooLarge)
{
    body.clear();
    // Without either header a request has no body (the library's reader
    // would wait for the connection to close instead).
    if (!req.has_header("Content-Length") && !req.has_header("Transfer-Encoding")) return true;
    std::size_t total = 0;
    const bool ok = reader([&](const char *data, std::size_t length) {
        total += length;
        if (total <= options_.maxBody) {
            body.append(data, length);
            return true;
        }
        body.clear();
        return tooLarge != nullptr && total <= options_.maxBody + kDrainLimit;
    });
    if (total > options_.maxBody) {
        if (tooLarge) {
            SendJson(res, 200, ReplyJson(413, tooLarge));
        } else {
            SendError(res, 413, "request body too large");
        }
        return false;
    }
    if (!ok) {
        SendError(res, 400, "could not read the request body");
        return false;
    }
    return true;
}

bool LumoService::ReadForm(const httplib::Request &req, const httplib::ContentReader &reader, httplib::Response &res,
                           const std::vector<std::string_view> &fields, FormData &form, const char *tooLarge)
{
    std::string body;
    if (!ReadBody(req, reader, res, body, tooLarge)) return false;
    if (!IsFormContentType(req.get_header_value("Content-Type"))) {
        SendError(res, 415, "body must be application/x-www-form-urlencoded");
        return false;
    }
    std::string error;
    if (!FormData::Parse(body, form, error) || !form.HasExactly(fields, error)) {
        SendError(res, 400, error);
        return false;
    }
    return true;
}

bool LumoService::IsSameOrigin(const httplib::Request &req) const
{
    const bool hasOrigin = req.has_header("Origin");
    if (!hasOrigin && !req.has_header("Referer")) return true;
    const std::string port = std::to_string(port_);
    const std::string own[] = {"http://127.0.0.1:" + port, "http://localhost:" + port};
    if (hasOrigin) {
        const std::string origin = req.get_header_value("Origin");
        return std::any_of(std::begin(own), std::end(own), [&](const std::string &o) {
            return origin.size() == o.size() && StartsWithIgnoringCase(origin, o);
        });
    }
    // A Referer is a whole address: the origin, then a path, a query or
    // nothing.
    const std::string referer = req.get_header_value("Referer");
    return std::any_of(std::begin(own), std::end(own), [&](const std::string &o) {
        return StartsWithIgnoringCase(referer, o) &&
               (referer.size() == o.size() || std::string_view("/?#").find(referer[o.size()]) != std::string_view::npos);
    });
}

void LumoService::HandleVersion(const httplib::Request &req, httplib::Response &res,
                                const httplib::ContentReader &reader)
{
    // The request has no body; whatever is sent is read and ignored.
    std::string body;
    if (!ReadBody(req, reader, res, body)) return;

    const std::size_t q = req.target.find('?');
    const std::string_view query =
        q == std::string::npos ? std::string_view() : std::string_view(req.target).substr(q + 1);
    FormData params;
    std::string error;
    if (!FormData::Parse(query, params, error)) {
        SendError(res, 400, "query: " + error);
        return;
    }
    const std::string *app = params.Find("app_name");
    if (!app) {
        SendError(res, 400, "query: missing field 'app_name'");
        return;
    }
    if (*app != kAppName) {
        SendJson(res, 200, ReplyJson(404, "unknown app_name"));
        return;
    }

    const std::string host = req.get_header_value("Host");
    const std::string authority =
        IsSafeHost(host) ? host : std::string(kLoopback) + ":" + std::to_string(port_);
    SendJson(res, 200,
             ReplyJson(200, "ok",
                       {{"app_name", kAppName},
                        {"version", options_.latestVersion},
                        {"download_url", "http://" + authority + "/#/YuvLumo"}}));
}

void LumoService::HandleFeedback(const httplib::Request &req, httplib::Response &res,
                                 const httplib::ContentReader &reader)
{
    FormData form;
    if (!ReadForm(req, reader, res, {"feedback"}, form, kFeedbackTooLong)) return;
    std::string error;
    const std::string &text = *form.Find("feedback");
    if (IsBlankText(text)) {
        SendJson(res, 200, ReplyJson(400, "反馈内容不能为空"));
        return;
    }
    const std::int64_t id = store_->AddFeedback(text, req.remote_addr, error);
    if (id < 0) {
        std::cerr << "lumo-service: storing feedback failed: " << error << std::endl;
        SendError(res, 500, "could not store the feedback");
        return;
    }
    SendJson(res, 200,
             ReplyJson(200, "反馈已收到", {{"id", id}}));
}

void LumoService::HandleAnchor(const httplib::Request &req, httplib::Response &res,
                               const httplib::ContentReader &reader)
{
    FormData form;
    if (!ReadForm(req, reader, res, {"type", "version", "platform", "app", "page", "block", "action", "info"}, form))
        return;
    std::string error;
    UsageEvent event;
    event.type = *form.Find("type");
    event.version = *form.Find("version");
    event.platform = *form.Find("platform");
    event.app = *form.Find("app");
    event.page = *form.Find("page");
    event.block = *form.Find("block");
    event.action = *form.Find("action");
    event.info = *form.Find("info");
    const std::int64_t id = store_->AddUsageEvent(event, req.remote_addr, error);
    if (id < 0) {
        std::cerr << "lumo-service: storing a usage event failed: " << error << std::endl;
        SendError(res, 500, "could not store the event");
        return;
    }
    SendJson(res, 200, ReplyJson(200, "ok"));
}

void LumoService::HandlePage(const httplib::Request &, httplib::Response &res)
{
    res.status = 200;
    res.set_content(DownloadPageHtml(options_.latestVersion), "text/html; charset=utf-8");
}

}  // namespace lumo::service
