#pragma once

// The GLSL texts of the YUV view: the frame and channel programs share the
// quad vertex shader; the rectangle program draws solid red bands.
extern const char* const kQuadVertexShader;
extern const char* const kFrameFragmentShader;
extern const char* const kChannelFragmentShader;
extern const char* const kRectVertexShader;
extern const char* const kRedFragmentShader;
