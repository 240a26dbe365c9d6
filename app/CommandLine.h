#pragma once

#include <string>
#include <vector>

#include "yuv/LumoYuvReader.h"

// What the command line asks the program to open once its main window
// exists.
struct StartupRequest {
    // Files to add as rows (their paths as given).
    std::vector<std::string> files;
    // --size and --layout: 0 and empty when not given. They win over what
    // file names tell; a Y4M file keeps its header's (yuv/GeometryPolicy.h).
    int width = 0;
    int height = 0;
    std::string type;
    // --compare: an analysis window comparing these two.
    bool compare = false;
    lumo::LumoYuvReader compareA;
    lumo::LumoYuvReader compareB;
};

// The result of reading the command line. Runs the program when `exitCode`
// is -1; otherwise the program prints `text` (to standard error when
// `toStderr`) and exits with `exitCode`, before any window or display is
// touched.
struct CommandLine {
    int exitCode = -1;
    bool toStderr = false;
    std::string text;
    StartupRequest request;
};

// yuvlumo [FILE...] [--size WxH] [--layout L]
// yuvlumo --compare A B [--size WxH] [--layout L]
// yuvlumo --help | --version
// `args` leaves out the program name. Bad arguments (an unknown option, a
// bad value, a file that is missing or not a regular file, --compare
// without two files or with a size nothing gives, a flag that contradicts a
// Y4M header and names no raw file) give one line and status 2.
CommandLine ParseCommandLine(const std::vector<std::string>& args);
