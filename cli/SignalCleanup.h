#pragma once

#include <string>

namespace lumo::cli {

// Temporary files that INT, TERM and HUP remove before the program ends
// with the signal as usual. The handler only unlinks, so it is safe in any
// thread at any moment.
void InstallSignalCleanup();
// Returns a ticket for UnregisterTempFile, -1 when every slot is taken (the
// file is then left to the destructor alone).
int RegisterTempFile(const std::string& path);
void UnregisterTempFile(int ticket);

} // namespace lumo::cli
