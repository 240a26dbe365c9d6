#include "LumoReader.h"

#include <atomic>

namespace lumo {

namespace {
std::atomic<bool> g_stopRequested{false};
}

LumoReader::LumoReader() = default;
LumoReader::~LumoReader() = default;

int LumoReader::Read2File(std::string, std::string, int&, int&, Lumer::LumerAVPixelFormat&)
{
    return -1;
}

void LumoReader::RequestStopAll() { g_stopRequested.store(true); }
void LumoReader::ClearStopRequest() { g_stopRequested.store(false); }
bool LumoReader::StopRequested() { return g_stopRequested.load(); }

}
