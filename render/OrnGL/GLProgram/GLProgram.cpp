#include "render/OrnGL/GLProgram/GLProgram.h"

#include "base/LogPrint.h"

GLProgram::GLProgram(QOpenGLFunctions_3_3_Core* gl) : gl_(gl)
{
    program_ = gl_->glCreateProgram();
}

GLProgram::~GLProgram()
{
    shaders_.clear();
    if (program_)
        gl_->glDeleteProgram(program_);
}

void GLProgram::AddShader(std::unique_ptr<GLShader> shader)
{
    if (shader)
        shaders_.push_back(std::move(shader));
}

void GLProgram::LinkProgram()
{
    for (const auto& shader : shaders_)
        gl_->glAttachShader(program_, shader->Name());
    gl_->glLinkProgram(program_);

    GLint status = GL_FALSE;
    GLint logLength = 0;
    gl_->glGetProgramiv(program_, GL_LINK_STATUS, &status);
    gl_->glGetProgramiv(program_, GL_INFO_LOG_LENGTH, &logLength);
    if (logLength > 0) {
        std::vector<char> log(static_cast<size_t>(logLength) + 1, '\0');
        gl_->glGetProgramInfoLog(program_, logLength, nullptr, log.data());
        LogPrint("..\\OrnGL\\GLProgram\\GLProgram", "LinkProgram", 54, LOG_LEVEL_INFO, "%s\n", log.data());
    }

    for (const auto& shader : shaders_)
        gl_->glDetachShader(program_, shader->Name());
    shaders_.clear();
}

GLint GLProgram::GetUniformLocation(const char* name) const
{
    return gl_->glGetUniformLocation(program_, name);
}
