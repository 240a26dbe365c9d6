#pragma once

#include <malloc.h>

#include <QByteArray>
#include <QtGlobal>

#include "base/SurfaceFormat.h"

namespace bench {

// What every analysis bench does before its QApplication: the program's own
// allocator settings (app/main.cpp), no usage events to a real service
// unless one is named, and the program's default GL format.
inline void SetUpLikeTheProgram()
{
    mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_ARENA_MAX, 2);
    if (!qEnvironmentVariableIsSet("LUMO_SERVICE_URL"))
        qputenv("LUMO_SERVICE_URL", "http://127.0.0.1:9");
    lumo::InstallDefaultSurfaceFormat();
}

} // namespace bench
