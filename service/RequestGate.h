#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace lumo::service {

// Accepts connections on 127.0.0.1 and reads each request's headers, and a
// small body whose length they state, on one thread with poll(). Only a
// request read that far (or ended by its client) goes to a worker, so
// clients that send slowly wait here and hold no worker, however many there
// are. Each connection has one deadline for its whole request; a client that
// misses it gets 408 and is closed, one whose headers are too large 431.
// Connections are never limited per address (every client is 127.0.0.1);
// when `maxConnections` are open, the oldest still being read is dropped to
// make room for a new one.
class RequestGate {
public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        // From accept to the last byte of the request.
        std::chrono::milliseconds requestTime{5000};
        // Request line and headers, up to their blank line.
        std::size_t maxHead = 64 * 1024;
        // A body up to this length is read here too; larger, chunked or
        // announced with "Expect" ones are left to the worker.
        std::size_t maxHeldBody = 64 * 1024;
        std::size_t maxConnections = 512;
        std::size_t workers = 8;
    };

    // Serves one connection on a worker thread: `received` is what the gate
    // has read of it, the rest must be read by `deadline`. The gate closes
    // the socket afterwards.
    using Handler = std::function<void(int fd, const std::string &received, Clock::time_point deadline)>;

    explicit RequestGate(const Limits &limits);
    ~RequestGate();
    RequestGate(const RequestGate &) = delete;
    RequestGate &operator=(const RequestGate &) = delete;

    // Binds 127.0.0.1:`port` (0: any free one). Returns the bound port, or
    // -1 when the port cannot be had.
    int Bind(int port);
    // Serves until Stop(); false when waiting for connections failed.
    bool Run(const Handler &handler);
    // Safe to call from any thread, also before Run().
    void Stop();

    // How many body bytes to read with `head` (the request line and headers,
    // up to their blank line): the stated Content-Length when there is one,
    // unambiguous and within `limit`, and nothing asks to be answered first;
    // else 0.
    static std::size_t BodyToHold(std::string_view head, std::size_t limit);

private:
    struct Pending;
    void Wake();

    Limits limits_;
    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> busy_{0};
};

}  // namespace lumo::service
