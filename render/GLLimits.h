#pragma once

// The largest texture side of the GL the frame views draw with. Asked once,
// on a context of the default surface format made for the purpose, so that
// windows can refuse a frame before reading it, before any view exists.
// kDefaultMaxTextureSize when no such context can be made. GUI thread only.
constexpr int kDefaultMaxTextureSize = 16384;
int MaxTextureSize();

// Whether a frame of that size fits in the GL's textures, i.e. can be shown.
bool FrameFitsTexture(int width, int height);
