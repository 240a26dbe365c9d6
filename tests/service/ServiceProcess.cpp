#include "ServiceProcess.h"

#include <sqlite3.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#ifndef LUMO_SERVICE_BINARY
#error "LUMO_SERVICE_BINARY must name the lumo-service executable"
#endif

namespace {

pid_t Spawn(const std::vector<std::string> &args, int &stdoutFd)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::vector<std::string> all = {LUMO_SERVICE_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return -1;
    }
    stdoutFd = fds[0];
    return pid;
}

// Reads from `fd` until `stop` says enough, EOF or the deadline.
template <typename Stop>
void ReadUntil(int fd, std::string &out, int timeoutMs, Stop stop)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    while (!stop(out)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return;
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

int DecodeStatus(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

ServiceProcess::~ServiceProcess()
{
    Stop();
}

bool ServiceProcess::Start(const std::vector<std::string> &args, std::string &error)
{
    int fd = -1;
    pid_ = Spawn(args, fd);
    if (pid_ < 0) {
        error = "fork failed";
        return false;
    }
    std::string out;
    ReadUntil(fd, out, 10000, [](const std::string &s) { return s.find('\n') != std::string::npos; });
    close(fd);
    const std::string prefix = "listening on 127.0.0.1:";
    if (out.rfind(prefix, 0) != 0 || out.find('\n') == std::string::npos) {
        error = "no listening line, got '" + out + "'";
        Stop();
        return false;
    }
    port_ = std::atoi(out.c_str() + prefix.size());
    if (port_ <= 0 || port_ > 65535) {
        error = "bad port in '" + out + "'";
        Stop();
        return false;
    }
    return true;
}

bool ServiceProcess::Running()
{
    if (pid_ < 0) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        exitStatus_ = DecodeStatus(status);
        pid_ = -1;
        return false;
    }
    return r == 0;
}

int ServiceProcess::WaitExit(int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (!Running()) return exitStatus_;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -2;
}

int ServiceProcess::Stop()
{
    if (pid_ < 0) return -1;
    kill(pid_, SIGTERM);
    int status = WaitExit(10000);
    if (status == -2 && pid_ > 0) {
        kill(pid_, SIGKILL);
        status = WaitExit(10000);
    }
    return status;
}

int ServiceProcess::RunToExit(const std::vector<std::string> &args, std::string &output)
{
    int fd = -1;
    const pid_t pid = Spawn(args, fd);
    if (pid < 0) return -1;
    output.clear();
    ReadUntil(fd, output, 10000, [](const std::string &) { return false; });
    close(fd);
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
        if (waited >= 10000) {
            // Still serving: the caller expected it to exit.
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return DecodeStatus(status);
}

int ConnectLoopback(int port, int sendTimeoutMs)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (sendTimeoutMs > 0) {
        timeval tv{sendTimeoutMs / 1000, (sendTimeoutMs % 1000) * 1000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string RawExchange(int port, const std::string &request)
{
    const int fd = ConnectLoopback(port);
    if (fd < 0) return {};
    std::size_t sent = 0;
    while (sent < request.size()) {
        // The server may refuse and close before it has read everything.
        const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    std::string reply;
    ReadUntil(fd, reply, 10000, [](const std::string &) { return false; });
    close(fd);
    return reply;
}

int RawStatus(const std::string &reply)
{
    if (reply.rfind("HTTP/1.1 ", 0) != 0 || reply.size() < 12) return -1;
    return std::atoi(reply.c_str() + 9);
}

std::string RawBody(const std::string &reply)
{
    const std::size_t split = reply.find("\r\n\r\n");
    return split == std::string::npos ? std::string() : reply.substr(split + 4);
}

std::string Encode(const std::string &text)
{
    static const char *hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string TmpDir()
{
    const char *dir = std::getenv("LUMO_TEST_TMP");
    return dir ? dir : "/tmp";
}

std::vector<std::vector<std::string>> Query(const std::string &path, const std::string &sql,
                                            const std::vector<std::string> &params)
{
    std::vector<std::vector<std::string>> rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path;
        sqlite3_close(db);
        return rows;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
        sqlite3_close(db);
        return rows;
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
        sqlite3_bind_text(stmt, static_cast<int>(i + 1), params[i].data(), static_cast<int>(params[i].size()),
                          SQLITE_TRANSIENT);
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
            row.emplace_back(text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)))
                                  : "<null>");
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}
