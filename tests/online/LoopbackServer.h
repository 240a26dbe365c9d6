#pragma once

// A real HTTP server on a free loopback port, run on its own thread, that
// records every request it receives. Points LUMO_SERVICE_URL at itself.
#include <httplib.h>

#include <QCoreApplication>
#include <QTest>
#include <QtGlobal>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ServiceUrl.h"

struct ReceivedRequest {
    std::string method;
    std::string path;
    std::string contentType;
    std::string contentLength;
    std::string body;
    bool hasOriginOrReferer = false;
};

class LoopbackServer {
public:
    LoopbackServer()
    {
        auto handler = [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back({req.method, req.path, req.get_header_value("Content-Type"),
                                 req.get_header_value("Content-Length"), req.body,
                                 req.has_header("Origin") || req.has_header("Referer")});
            res.set_content(R"({"code":200})", "application/json");
        };
        // One request per connection, so stopping never waits on idle ones.
        server_.set_keep_alive_max_count(1);
        server_.Post(".*", handler);
        server_.Get(".*", handler);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        qputenv("LUMO_SERVICE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(port_));
    }
    ~LoopbackServer()
    {
        server_.stop();
        thread_.join();
        RestoreServiceUrl();
    }

    std::vector<ReceivedRequest> Requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    // Runs the GUI event loop until `count` requests arrived.
    bool WaitFor(size_t count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return Requests().size() >= count; }, timeoutMs);
    }
    int port() const { return port_; }

private:
    httplib::Server server_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<ReceivedRequest> requests_;
    int port_ = 0;
};
