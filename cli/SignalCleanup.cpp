#include "cli/SignalCleanup.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace lumo::cli {
namespace {

struct Slot {
    char path[PATH_MAX];
    volatile std::sig_atomic_t used;
};
// A command writes one output at a time; a few slots leave room.
Slot g_slots[8];

extern "C" void RemoveTempFilesAndDie(int sig)
{
    for (Slot& slot : g_slots) {
        if (slot.used)
            ::unlink(slot.path);
    }
    // SA_RESETHAND has restored the default action: end as the signal says.
    ::raise(sig);
}

} // namespace

void InstallSignalCleanup()
{
    struct sigaction action {};
    action.sa_handler = RemoveTempFilesAndDie;
    action.sa_flags = SA_RESETHAND;
    sigfillset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &action, nullptr);
    }
}

int RegisterTempFile(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < static_cast<int>(sizeof g_slots / sizeof g_slots[0]); ++i) {
        Slot& slot = g_slots[i];
        if (slot.used)
            continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        // The handler must see the whole path before it sees the slot taken.
        std::atomic_signal_fence(std::memory_order_seq_cst);
        slot.used = 1;
        return i;
    }
    return -1;
}

void UnregisterTempFile(int ticket)
{
    if (ticket >= 0 && ticket < static_cast<int>(sizeof g_slots / sizeof g_slots[0]))
        g_slots[ticket].used = 0;
}

} // namespace lumo::cli
