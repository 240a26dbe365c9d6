#include "service/ServiceOptions.h"

#include <cerrno>
#include <cstdlib>

namespace lumo::service {

namespace {

bool ParseUnsigned(const std::string &text, unsigned long long max, unsigned long long &out)
{
    if (text.empty() || text.size() > 20) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || v > max) return false;
    out = v;
    return true;
}

bool IsPlainVersion(const std::string &v)
{
    if (v.empty() || v.size() > ServiceOptions::kMaxVersionLength) return false;
    for (char c : v) {
        if (c <= 0x20 || c >= 0x7F) return false;
    }
    return true;
}

}  // namespace

bool ServiceOptions::Parse(const std::vector<std::string> &args, ServiceOptions &out, std::string &error)
{
    out = ServiceOptions();
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        const std::size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        if (name == "--help" || name == "-h") {
            out.help = true;
            continue;
        }
        if (name == "--quiet") {
            out.quiet = true;
            continue;
        }
        if (name != "--port" && name != "--db" && name != "--latest-version" && name != "--max-body") {
            error = "unknown option '" + args[i] + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        unsigned long long number = 0;
        if (name == "--port") {
            if (!ParseUnsigned(value, 65535, number)) {
                error = "--port takes a number from 0 to 65535";
                return false;
            }
            out.port = static_cast<int>(number);
        } else if (name == "--db") {
            if (value.empty()) {
                error = "--db needs a file path";
                return false;
            }
            out.dbPath = value;
        } else if (name == "--latest-version") {
            if (!IsPlainVersion(value)) {
                error = "--latest-version takes 1 to 64 visible ASCII characters";
                return false;
            }
            out.latestVersion = value;
        } else {
            if (!ParseUnsigned(value, 64ull * 1024 * 1024, number) || number < 1024) {
                error = "--max-body takes a byte count from 1024 to 67108864";
                return false;
            }
            out.maxBody = static_cast<std::size_t>(number);
        }
    }
    return true;
}

std::string ServiceOptions::Usage(const std::string &program)
{
    return "Usage: " + program + " [options]\n"
           "\n"
           "Local stand-in for the YuvLumo web service: answers the version check,\n"
           "stores feedback texts and usage events in an SQLite file, and serves\n"
           "the download page. Listens on 127.0.0.1 only.\n"
           "\n"
           "Options:\n"
           "  --port N               port to listen on (default 18321); 0 picks a free one\n"
           "  --db PATH              SQLite file for feedback and usage events\n"
           "                         (default ./lumo-service.sqlite, created when missing)\n"
           "  --latest-version V     version reported as the latest (default 2.2.1)\n"
           "  --max-body BYTES       largest request body accepted (default 262144)\n"
           "  --quiet                do not log requests on standard error\n"
           "  -h, --help             show this help\n"
           "\n"
           "Once listening it prints \"listening on 127.0.0.1:PORT\" on standard output.\n"
           "Request paths (POST, bodies application/x-www-form-urlencoded, UTF-8,\n"
           "percent-encoded):\n"
           "  /lumo/user/version/get_latest_version?app_name=YUVLumo   empty body\n"
           "  /lumo/user/feedback/send     field feedback\n"
           "  /lumo/user/anchor/anchor     fields type, version, platform, app, page,\n"
           "                               block, action, info\n"
           "Replies are JSON {\"code\":200,\"message\":...,\"model\":...}. GET / is the\n"
           "download page. The program and its tests reach the service through\n"
           "LUMO_SERVICE_URL (default http://127.0.0.1:18321).\n"
           "Stop it with Ctrl+C or SIGTERM.\n";
}

}  // namespace lumo::service
