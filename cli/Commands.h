#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/InputGeometry.h"

namespace lumo::cli {

// What the command line gave each subcommand (main.cpp declares the
// options and checks that every file is there). An option left out is
// empty, or nullopt where an empty value is itself a mistake.
struct InfoArgs {
    std::string file;
    GeometryOptions geometry;
};

struct CompareArgs {
    std::string fileA;
    std::string fileB;
    GeometryOptions geometryA;
    // B's --size-b and --layout-b; what is left out is taken from A's options.
    GeometryOptions geometryB{"", "--size-b", "", "--layout-b"};
    std::optional<std::string> frames;
    std::string range = "bt601full";
    std::string metrics = "all";
    std::string format = "table";
    std::optional<std::string> jobs;
    std::optional<std::string> output;
    std::optional<std::string> roi;
};

struct ExportArgs {
    std::string file;
    GeometryOptions geometry;
    std::optional<std::string> frame;
    bool png16 = false;
    // Either one: the view's standard matrix instead of the fixed formula.
    std::optional<std::string> range;
    std::optional<std::string> gamma;
    std::optional<std::string> output;
};

struct ConvertArgs {
    std::string media;
    std::optional<std::string> output;
};

struct RdArgs {
    std::string reference;
    std::vector<std::string> encodes;
    GeometryOptions geometry;
    std::optional<std::string> frames;
    std::string range = "bt601full";
    std::string metrics = "all";
    std::optional<std::string> roi;
    std::optional<std::string> jobs;
    std::optional<std::string> bitrates;
    std::optional<std::string> output;
};

struct BdRateArgs {
    std::string anchor;
    std::string test;
    std::string metric = "psnr_y";
    std::string method = "pchip";
    std::string format = "table";
};

// The subcommands; each returns the exit status. Bad input throws CliError.
int RunInfo(const InfoArgs& args);
int RunCompare(CompareArgs args);
int RunExport(const ExportArgs& args);
int RunConvert(const ConvertArgs& args);
int RunRd(const RdArgs& args);
int RunBdRate(const BdRateArgs& args);

} // namespace lumo::cli
