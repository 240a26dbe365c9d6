#include "render/OrnGL/GLProgram/GLShader.h"

#include <vector>

#include "base/LogPrint.h"

namespace {
const char* const kSource = "..\\OrnGL\\GLProgram\\GLShader";
}

GLShader::GLShader(QOpenGLFunctions_3_3_Core* gl, GLenum stage, const char* source) : gl_(gl)
{
    shader_ = gl_->glCreateShader(stage);
    LogPrint(kSource, "GLShader", 13, LOG_LEVEL_INFO, "\n\n\n");
    LogPrint(kSource, "GLShader", 14, LOG_LEVEL_INFO, "\nCompiling shader : \n%s\n", source ? source : "");

    const char* text = source ? source : "";
    gl_->glShaderSource(shader_, 1, &text, nullptr);
    gl_->glCompileShader(shader_);

    GLint status = GL_FALSE;
    GLint logLength = 0;
    gl_->glGetShaderiv(shader_, GL_COMPILE_STATUS, &status);
    gl_->glGetShaderiv(shader_, GL_INFO_LOG_LENGTH, &logLength);
    if (logLength > 0) {
        std::vector<char> log(static_cast<size_t>(logLength) + 1, '\0');
        gl_->glGetShaderInfoLog(shader_, logLength, nullptr, log.data());
        LogPrint(kSource, "GLShader", 24, LOG_LEVEL_INFO, "\n\n");
        LogPrint(kSource, "GLShader", 25, LOG_LEVEL_INFO, "%s\n", log.data());
    }
}

GLShader::~GLShader()
{
    if (shader_)
        gl_->glDeleteShader(shader_);
}
