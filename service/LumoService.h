#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "service/RequestGate.h"
#include "service/ServiceOptions.h"

namespace httplib {
class ContentReader;
struct Request;
struct Response;
}  // namespace httplib

namespace lumo::service {

class EventStore;
class FormData;
class GatedServer;

// The HTTP side of lumo-service: routes, form checks and replies. Listens on
// 127.0.0.1 only.
//
// Status rule: a request the service cannot understand (bad form, missing or
// unexpected field, wrong method, unknown path, body too large) gets an HTTP
// error status and an envelope with the same code. A well-formed request that
// the service refuses (empty or too long feedback, unknown app) gets HTTP 200
// and an envelope whose code is not 200, so the desktop program can show the
// message.
//
// Any page open in the user's browser can send requests to the service. A
// request that is not a plain GET or HEAD and comes from another origin (an
// Origin header, or without one a Referer, naming anything but the service's
// own address) is refused with 403 before its body is read; the desktop
// program sends neither header.
//
// Connections come through a RequestGate: a request reaches a worker only
// once its headers are in, and each has one deadline for all of it.
class LumoService {
public:
    static constexpr const char *kVersionPath = "/lumo/user/version/get_latest_version";
    static constexpr const char *kFeedbackPath = "/lumo/user/feedback/send";
    static constexpr const char *kAnchorPath = "/lumo/user/anchor/anchor";
    static constexpr const char *kAppName = "YUVLumo";
    // How far past the body limit a body is read and dropped.
    static constexpr std::size_t kDrainLimit = 16 * 1024 * 1024;

    explicit LumoService(const ServiceOptions &options);
    ~LumoService();

    LumoService(const LumoService &) = delete;
    LumoService &operator=(const LumoService &) = delete;

    // Binds 127.0.0.1 on the configured port (0: any free one). Returns the
    // bound port, or -1 when the port cannot be had.
    int Bind();
    // Serves until Stop() is called, keeping what it receives in `store`;
    // false when serving failed. The store is opened only once the port is
    // had, so a second service on a taken port leaves no database file.
    bool Run(EventStore &store);
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
    // is already in `res`; a body over the limit gets 413, or, when a message
    // `tooLarge` is given, HTTP 200 and that message after the body has been
    // read on to its end (up to kDrainLimit bytes past the limit) and
    // dropped, so that a client still sending it gets the reply.
    bool ReadBody(const httplib::Request &req, const httplib::ContentReader &reader, httplib::Response &res,
                  std::string &body, const char *tooLarge = nullptr);
    // Reads the body as a form holding exactly `fields`, as ReadBody.
    bool ReadForm(const httplib::Request &req, const httplib::ContentReader &reader, httplib::Response &res,
                  const std::vector<std::string_view> &fields, FormData &form, const char *tooLarge = nullptr);
    // True for a request from the service's own pages or from no page at all.
    bool IsSameOrigin(const httplib::Request &req) const;

    ServiceOptions options_;
    EventStore *store_ = nullptr;
    std::unique_ptr<GatedServer> server_;
    RequestGate gate_;
    int port_ = -1;
};

}  // namespace lumo::service
