#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace lumo::cli {

// The subcommands; each takes the arguments after its name and returns the
// exit status. Bad input throws CliError.
int RunInfo(const std::vector<std::string>& args);
int RunCompare(const std::vector<std::string>& args);
int RunExport(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);

void PrintHelp(std::FILE* out);

} // namespace lumo::cli
