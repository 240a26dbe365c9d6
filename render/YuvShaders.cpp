#include "render/YuvShaders.h"

const char* const kQuadVertexShader =
    "#version 330\n"
    "layout (location = 0) in vec3 position; layout (location = 1) in vec3 texCoord; out vec3 TexCoord; "
    "uniform mat4 yuvMatrix; void main() { gl_Position = yuvMatrix * vec4(position, 1.0f); "
    "TexCoord = texCoord; }";

const char* const kFrameFragmentShader =
    "#version 330\n"
    "in vec3 TexCoord; out vec4 color; uniform float iTime; uniform float width; uniform float height; "
    "uniform sampler2D y; uniform sampler2D u; uniform sampler2D v; uniform int colorRange; "
    "uniform float gamma = 1.0; void main() { float t_x = TexCoord.x; float t_y = TexCoord.y; "
    "vec2 t = vec2(t_x,1.0 - t_y); vec3 yuv; vec3 rgb; yuv.x = texture(y, t).r; "
    "yuv.y = texture(u, t).r - 0.5; yuv.z = texture(v, t).r - 0.5; "
    "mat3 kBt709VideoRangeYUV2RGBMatrix = mat3( 1.164, 1.164, 1.164, 0.0, -0.213, 2.112, 1.793, -0.533, 0.0); "
    "mat3 kBt709FullRangeYUV2RGBMatrix = mat3( 1.164, 1.164, 1.164, 0.0, -0.213, 2.112, 1.793, -0.533, 0.0); "
    "mat3 kBt601VideoRangeYUV2RGBMatrix = mat3( 1.164, 1.164, 1.164, 0.0, -0.392, 2.017, 1.596, -0.813, 0.0); "
    "mat3 kBt601FullRangeYUV2RGBMatrix = mat3( 1.0, 1.0, 1.0, 0.0, -0.343, 1.765, 1.4, -0.711, 0.0); "
    "if(colorRange == 1){ rgb = kBt709VideoRangeYUV2RGBMatrix * yuv; } "
    "if(colorRange == 2){ rgb = kBt709FullRangeYUV2RGBMatrix * yuv; } "
    "if(colorRange == 3){ rgb = kBt601VideoRangeYUV2RGBMatrix * yuv; } "
    "if(colorRange == 4){ rgb = kBt601FullRangeYUV2RGBMatrix * yuv; } "
    "vec3 rgb_out = pow(rgb, vec3(gamma)); color = vec4(rgb_out, 1.0); }";

const char* const kChannelFragmentShader =
    "#version 330\n"
    "in vec3 TexCoord; out vec4 color; uniform float iTime; uniform float width; uniform float height; "
    "uniform int type = 1; uniform sampler2D y; uniform sampler2D u; uniform sampler2D v; "
    "uniform int colorRange; void main() { float t_x = TexCoord.x; float t_y = TexCoord.y; "
    "vec2 t = vec2(t_x,1.0 - t_y); vec3 yuv; vec3 rgb; yuv.x = texture(y, t).r; "
    "yuv.y = texture(u, t).r - 0.5; yuv.z = texture(v, t).r - 0.5; "
    "rgb = mat3( 1, 1, 1, 0, -0.39465, 2.03211, 1.13983, -0.58060, 0) * yuv; "
    "if(type == 1){ float v = texture(y, t).r; color = vec4(v, v, v, 1.0); } "
    "if(type == 2){ float v = texture(u, t).r; color = vec4(v, v, v, 1.0); } "
    "if(type == 3){ float v = texture(v, t).r; color = vec4(v, v, v, 1.0); } }";

const char* const kRectVertexShader =
    "#version 330\n"
    "layout (location = 0) in vec3 position; uniform mat4 mvp; void main() { "
    "gl_Position = mvp * vec4(position, 1.0f); }";

const char* const kRedFragmentShader =
    "#version 330\n"
    "out vec4 color; void main() { vec3 rgb_out = vec3(1.0, 0.0, 0.0); color = vec4(rgb_out, 1.0); }";
