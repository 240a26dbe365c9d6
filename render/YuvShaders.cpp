#include "render/YuvShaders.h"

const char* const kQuadVertexShader =
    "#version 330\n"
    "layout (location = 0) in vec3 position; layout (location = 1) in vec3 texCoord; out vec3 TexCoord; "
    "uniform mat4 yuvMatrix; void main() { gl_Position = yuvMatrix * vec4(position, 1.0f); "
    "TexCoord = texCoord; }";

// Samples come back from the textures normalised; sampleMax turns them into
// the file's levels, and the uniforms of the colour range (set from
// lumo::MatrixFor) turn those into RGB.
const char* const kFrameFragmentShader =
    "#version 330\n"
    "in vec3 TexCoord; out vec4 color; uniform sampler2D y; uniform sampler2D u; uniform sampler2D v; "
    "uniform float sampleMax = 255.0; uniform vec2 offsets = vec2(0.0, 128.0); "
    "uniform vec2 scales = vec2(255.0, 255.0); uniform vec4 coeffs = vec4(1.402, -0.344136, -0.714136, 1.772); "
    "uniform float gamma = 1.0; void main() { vec2 t = vec2(TexCoord.x, 1.0 - TexCoord.y); "
    "vec3 s = vec3(texture(y, t).r, texture(u, t).r, texture(v, t).r) * sampleMax; "
    "float l = (s.x - offsets.x) / scales.x; vec2 c = (s.yz - vec2(offsets.y)) / scales.y; "
    "vec3 rgb = clamp(vec3(l + coeffs.x * c.y, l + coeffs.y * c.x + coeffs.z * c.y, l + coeffs.w * c.x), 0.0, 1.0); "
    "if (gamma != 1.0) { for (int i = 0; i < 3; ++i) { rgb[i] = rgb[i] > 0.0 ? pow(rgb[i], gamma) : 0.0; } } "
    "color = vec4(rgb, 1.0); }";

// One plane as grey; `grey` scales a texel to 0..1 of the sample's range.
const char* const kChannelFragmentShader =
    "#version 330\n"
    "in vec3 TexCoord; out vec4 color; uniform int type = 1; uniform float grey = 1.0; uniform sampler2D y; "
    "uniform sampler2D u; uniform sampler2D v; void main() { vec2 t = vec2(TexCoord.x, 1.0 - TexCoord.y); "
    "float s = type == 1 ? texture(y, t).r : (type == 2 ? texture(u, t).r : texture(v, t).r); "
    "s = min(s * grey, 1.0); color = vec4(s, s, s, 1.0); }";

const char* const kRectVertexShader =
    "#version 330\n"
    "layout (location = 0) in vec3 position; uniform mat4 mvp; void main() { "
    "gl_Position = mvp * vec4(position, 1.0f); }";

const char* const kRedFragmentShader =
    "#version 330\n"
    "out vec4 color; void main() { vec3 rgb_out = vec3(1.0, 0.0, 0.0); color = vec4(rgb_out, 1.0); }";
