#pragma once

namespace lumo {

// Makes OpenGL 3.3 core (24-bit depth, 8-bit stencil) the default format of
// every GL surface the process creates. Call before the first window exists.
void InstallDefaultSurfaceFormat();

} // namespace lumo
