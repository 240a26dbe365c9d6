#pragma once

#include <stdexcept>
#include <string>

namespace lumo::cli {

// A failure caused by the command line or the files it names. Caught in
// main, printed as one line on standard error, exit status 2.
class CliError : public std::runtime_error {
public:
    explicit CliError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace lumo::cli
