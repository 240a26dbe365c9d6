#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

// A file under the test's scratch folder, removed when it goes out of scope.
class TempFile {
public:
    explicit TempFile(const std::vector<uint8_t>& bytes, const std::string& stem = "frame")
    {
        const char* dir = std::getenv("LUMO_TEST_TMP");
        static int counter = 0;
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/" + stem + "_" + std::to_string(::getpid()) + "_" +
                std::to_string(counter++) + ".yuv";
        FILE* f = std::fopen(path_.c_str(), "wb");
        if (f) {
            if (!bytes.empty())
                std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};
