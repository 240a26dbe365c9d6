#include "render/OrnGL/GLComponent/DrawCall.h"

#include "render/OrnGL/GLComponent/GLVAO.h"
#include "base/LogPrint.h"

DrawCall::DrawCall(QOpenGLFunctions_3_3_Core* gl, const char* vertexSource, const char* fragmentSource, int width,
                   int height, int type)
    : gl_(gl), width_(width), height_(height), type_(type)
{
    auto vertex = std::make_unique<GLShader>(gl_, GL_VERTEX_SHADER, vertexSource);
    auto fragment = std::make_unique<GLShader>(gl_, GL_FRAGMENT_SHADER, fragmentSource);
    program_ = std::make_unique<GLProgram>(gl_);
    program_->AddShader(std::move(vertex));
    program_->AddShader(std::move(fragment));
    program_->LinkProgram();

    if (type_ != 2)
        return;
    gl_->glGenFramebuffers(1, &frameBuffer_);
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer_);
    texture_ = std::make_unique<GLTexture>(gl_);
    gl_->glBindTexture(GL_TEXTURE_2D, texture_->Name());
    gl_->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width_, height_, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    gl_->glBindTexture(GL_TEXTURE_2D, 0);
    gl_->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_->Name(), 0);
    if (gl_->glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        LogPrint("..\\OrnGL\\GLComponent\\DrawCall", "DrawCall", 43, LOG_LEVEL_INFO,
                 "\"ERROR::FRAMEBUFFER:: Framebuffer is not complete!\"");
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

DrawCall::~DrawCall()
{
    texture_.reset();
    if (frameBuffer_)
        gl_->glDeleteFramebuffers(1, &frameBuffer_);
    program_.reset();
}

void DrawCall::BindTarget()
{
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer_);
}

void DrawCall::SetUniformInt(const char* name, int value)
{
    gl_->glUseProgram(program_->Name());
    gl_->glUniform1i(program_->GetUniformLocation(name), value);
}

void DrawCall::SetUniformFloat(const char* name, float value)
{
    gl_->glUseProgram(program_->Name());
    gl_->glUniform1f(program_->GetUniformLocation(name), value);
}

void DrawCall::SetUniformVec(const char* name, const float* values, int count)
{
    gl_->glUseProgram(program_->Name());
    const GLint location = program_->GetUniformLocation(name);
    if (count == 2)
        gl_->glUniform2fv(location, 1, values);
    else if (count == 4)
        gl_->glUniform4fv(location, 1, values);
}

void DrawCall::SetUniformMatrix(const char* name, const float* matrix)
{
    gl_->glUseProgram(program_->Name());
    gl_->glUniformMatrix4fv(program_->GetUniformLocation(name), 1, GL_FALSE, matrix);
}

void DrawCall::Draw()
{
    gl_->glUseProgram(program_->Name());
    if (vao_)
        vao_->Draw();
    gl_->glFinish();
}
