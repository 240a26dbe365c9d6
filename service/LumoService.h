#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "service/ServiceOptions.h"

namespace httplib {
class Server;
class ContentReader;
struct Request;
struct Response;
}  // namespace httplib

namespace lumo::service {

class EventStore;
class FormData;

// The HTTP side of lumo-service: routes, form checks and replies. Listens on
// 127.0.0.1 only.
//
// Status rule: a request the service cannot understand (bad form, missing or
// unexpected field, wrong method, unknown path, body too large) gets an HTTP
// error status and an envelope with the same code. A well-formed request that
// the service refuses (empty feedback, unknown app) gets HTTP 200 and an
// envelope whose code is not 200, so the desktop program can show the message.
class LumoService {
public:
    static constexpr const char *kVersionPath = "/lumo/user/version/get_latest_version";
    static constexpr const char *kFeedbackPath = "/lumo/user/feedback/send";
    static constexpr const char *kAnchorPath = "/lumo/user/anchor/anchor";
    static constexpr const char *kAppName = "YUVLumo";

    LumoService(const ServiceOptions &options, EventStore &store);
    ~LumoService();

    LumoService(const LumoService &) = delete;
    LumoService &operator=(const LumoService &) = delete;

    // Binds 127.0.0.1 on the configured port (0: any free one). Returns the
    // bound port, or -1 when the port cannot be had.
    int Bind();
    // Serves until Stop() is called; false when serving failed.
    bool Run();
    // Safe to call from another thread.
    void Stop();

private:
    void Route();
    void HandleVersion(const httplib::Request &req, httplib::Response &res,
                       const httplib::ContentReader &reader);
    void HandleFeedback(const httplib::Request &req, httplib::Response &res,
                        const httplib::ContentReader &reader);
    void HandleAnchor(const httplib::Request &req, httplib::Response &res,
                      const httplib::ContentReader &reader);
    void HandlePage(const httplib::Request &req, httplib::Response &res);
    // Reads the whole body within the size limit. On failure the error reply
    // is already in `res`.
    bool ReadBody(const httplib::Request &req, const httplib::ContentReader &reader, httplib::Response &res,
                  std::string &body);
    // Reads the body as a form holding exactly `fields`. On failure the
    // error reply is already in `res`.
    bool ReadForm(const httplib::Request &req, const httplib::ContentReader &reader, httplib::Response &res,
                  const std::vector<std::string_view> &fields, FormData &form);

    ServiceOptions options_;
    EventStore &store_;
    std::unique_ptr<httplib::Server> server_;
    int port_ = -1;
};

}  // namespace lumo::service
