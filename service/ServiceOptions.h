#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lumo::service {

// Command-line settings of lumo-service.
struct ServiceOptions {
    static constexpr int kDefaultPort = 18321;
    static constexpr std::size_t kDefaultMaxBody = 256 * 1024;
    static constexpr std::size_t kMaxVersionLength = 64;

    int port = kDefaultPort;
    std::string dbPath = "./lumo-service.sqlite";
    std::string latestVersion = "2.2.1";
    std::size_t maxBody = kDefaultMaxBody;
    bool quiet = false;
    bool help = false;

    // Parses the arguments after the program name. Returns false with a
    // one-line reason on a bad or unknown option.
    static bool Parse(const std::vector<std::string> &args, ServiceOptions &out, std::string &error);
    static std::string Usage(const std::string &program);
};

}  // namespace lumo::service
