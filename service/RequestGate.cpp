#include "service/RequestGate.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "service/JsonReply.h"

namespace lumo::service {

namespace {

// How long a refused connection may go on sending (read and dropped) after
// its reply, so that closing it with unread bytes does not reset it before
// the client has read the reply.
constexpr std::chrono::milliseconds kLingerIdle{200};
constexpr std::chrono::milliseconds kLingerMax{2000};

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NameIs(std::string_view name, std::string_view lower)
{
    if (name.size() != lower.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (Lower(name[i]) != lower[i]) return false;
    }
    return true;
}

std::string_view Trim(std::string_view text)
{
    const std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

void CloseSocket(int fd)
{
    shutdown(fd, SHUT_RDWR);
    close(fd);
}

}  // namespace

struct RequestGate::Pending {
    int fd = -1;
    std::string data;
    Clock::time_point deadline;
    Clock::time_point requestDeadline;
    std::size_t headEnd = 0;  // 0 until the blank line after the headers has arrived
    bool refused = false;     // replied to; read and dropped until closed
    Clock::time_point lingerEnd;
};

RequestGate::RequestGate(const Limits &limits) : limits_(limits)
{
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
}

RequestGate::~RequestGate()
{
    for (int fd : {listenFd_, wakeRead_, wakeWrite_}) {
        if (fd >= 0) close(fd);
    }
}

int RequestGate::Bind(int port)
{
    if (listenFd_ >= 0 || port < 0 || port > 65535) return -1;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    // SO_REUSEADDR lets a restarted service take its port back at once.
    // Never SO_REUSEPORT: it would let a second service bind the same port
    // and silently share the requests.
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, SOMAXCONN) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &length) != 0) {
        close(fd);
        return -1;
    }
    listenFd_ = fd;
    return ntohs(addr.sin_port);
}

void RequestGate::Stop()
{
    stop_ = true;
    Wake();
}

void RequestGate::Wake()
{
    const char byte = 0;
    if (wakeWrite_ >= 0 && write(wakeWrite_, &byte, 1) < 0) {
        // Full: a wake-up is pending anyway.
    }
}

std::size_t RequestGate::BodyToHold(std::string_view head, std::size_t limit)
{
    std::size_t length = 0;
    bool found = false;
    std::size_t at = head.find('\n');  // the request line is no header
    while (at != std::string_view::npos && at + 1 < head.size()) {
        const std::size_t end = head.find('\n', at + 1);
        const std::string_view line = head.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
        at = end;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = line.substr(0, colon);
        if (NameIs(name, "transfer-encoding") || NameIs(name, "expect")) return 0;
        if (!NameIs(name, "content-length")) continue;
        const std::string_view value = Trim(line.substr(colon + 1));
        if (value.empty() || value.size() > 19 || value.find_first_not_of("0123456789") != std::string_view::npos)
            return 0;
        const std::size_t v = std::stoull(std::string(value));
        if (found && v != length) return 0;
        length = v;
        found = true;
    }
    return found && length <= limit ? length : 0;
}

bool RequestGate::Run(const Handler &handler)
{
    if (listenFd_ < 0 || wakeRead_ < 0) return false;
    httplib::ThreadPool workers(limits_.workers);
    std::vector<Pending> pending;  // in order of arrival
    bool ok = true;

    auto refuse = [&](Pending &p, int status, const char *reason, Clock::time_point now) {
        const std::string body = ReplyJson(status, reason);
        const std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                                  "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
                                  std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        // A fresh socket buffer takes this small reply whole.
        if (send(p.fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
            // Nobody left to tell.
        }
        shutdown(p.fd, SHUT_WR);
        p.refused = true;
        std::string().swap(p.data);
        p.lingerEnd = now + kLingerMax;
        p.deadline = std::min(now + kLingerIdle, p.lingerEnd);
    };
    auto handOn = [&](Pending &p) {
        ++busy_;
        auto connection = std::make_shared<Pending>(std::move(p));
        workers.enqueue([this, connection, &handler] {
            handler(connection->fd, connection->data, connection->requestDeadline);
            CloseSocket(connection->fd);
            --busy_;
            Wake();
        });
        p.fd = -1;
    };
    // Reads what `p` has sent; false once it is closed or handed on.
    auto receive = [&](Pending &p, Clock::time_point now) {
        char chunk[16 * 1024];
        const ssize_t n = recv(p.fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
            CloseSocket(p.fd);
            return false;
        }
        if (p.refused) {
            if (n == 0) {
                close(p.fd);
                return false;
            }
            p.deadline = std::min(now + kLingerIdle, p.lingerEnd);
            return true;
        }
        if (n == 0) {
            // The client has sent all it will: whatever it is, the worker
            // answers it as it always has.
            if (p.data.empty()) {
                CloseSocket(p.fd);
            } else {
                handOn(p);
            }
            return false;
        }
        const std::size_t before = p.data.size();
        p.data.append(chunk, static_cast<std::size_t>(n));
        if (p.headEnd == 0) {
            const std::size_t blank = p.data.find("\n\r\n", before >= 2 ? before - 2 : 0);
            if (blank != std::string::npos) p.headEnd = blank + 3;
            if (p.headEnd > limits_.maxHead || (p.headEnd == 0 && p.data.size() > limits_.maxHead)) {
                refuse(p, 431, "request header fields too large", now);
                return true;
            }
            if (p.headEnd == 0) return true;
        }
        const std::size_t body =
            BodyToHold(std::string_view(p.data).substr(0, p.headEnd), limits_.maxHeldBody);
        if (p.data.size() >= p.headEnd + body) {
            handOn(p);
            return false;
        }
        return true;
    };

    std::vector<pollfd> fds;
    Clock::time_point acceptPause;  // out of descriptors: accept again after this
    while (!stop_) {
        const Clock::time_point now = Clock::now();
        // Due connections first: time out the slow, close the lingering.
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->deadline > now) {
                ++it;
            } else if (it->refused) {
                close(it->fd);
                it = pending.erase(it);
            } else {
                refuse(*it, 408, "request timeout", now);
                ++it;
            }
        }
        const bool room = (pending.size() + busy_ < limits_.maxConnections || !pending.empty()) && now >= acceptPause;

        fds.clear();
        fds.push_back({wakeRead_, POLLIN, 0});
        fds.push_back({room ? listenFd_ : -1, POLLIN, 0});
        Clock::time_point next = now >= acceptPause ? Clock::time_point::max() : acceptPause;
        for (const Pending &p : pending) {
            fds.push_back({p.fd, POLLIN, 0});
            next = std::min(next, p.deadline);
        }
        int timeoutMs = -1;
        if (next != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
            timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 60 * 1000));
        }
        const int ready = poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (fds[0].revents) {
            char drain[64];
            while (read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        const Clock::time_point polled = Clock::now();

        // fds[i + 2] belongs to pending[i] as it was before this round.
        std::vector<Pending> kept;
        kept.reserve(pending.size());
        for (std::size_t i = 0; i < pending.size(); ++i) {
            const bool alive = fds[i + 2].revents == 0 || receive(pending[i], polled);
            if (alive) kept.push_back(std::move(pending[i]));
        }
        pending.swap(kept);

        if (fds[1].revents) {
            // A bounded batch, so that a flood of connections cannot keep
            // the loop from reading the ones it has.
            for (int batch = 0; batch < 64; ++batch) {
                if (pending.size() + busy_ >= limits_.maxConnections) {
                    if (pending.empty()) break;
                    // Make room: a refused connection first, else the oldest,
                    // which has had the longest time to send its request.
                    auto victim = std::find_if(pending.begin(), pending.end(),
                                               [](const Pending &p) { return p.refused; });
                    if (victim == pending.end()) victim = pending.begin();
                    CloseSocket(victim->fd);
                    pending.erase(victim);
                }
                const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0) {
                    if (errno == EINTR || errno == ECONNABORTED) continue;
                    // Out of descriptors or memory: the connection waits in
                    // the backlog, and polling for it would spin.
                    if (errno != EAGAIN && errno != EWOULDBLOCK) acceptPause = polled + std::chrono::milliseconds(100);
                    break;
                }
                Pending p;
                p.fd = fd;
                p.requestDeadline = polled + limits_.requestTime;
                p.deadline = p.requestDeadline;
                pending.push_back(std::move(p));
            }
        }
    }

    for (Pending &p : pending) CloseSocket(p.fd);
    workers.shutdown();
    return ok;
}

}  // namespace lumo::service
