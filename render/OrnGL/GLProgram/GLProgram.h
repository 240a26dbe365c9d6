#pragma once

#include <memory>
#include <vector>

#include <QOpenGLFunctions_3_3_Core>

#include "render/OrnGL/GLProgram/GLShader.h"

// A program linked from the shaders added to it. The shaders are owned until
// the link, which detaches and destroys them.
class GLProgram {
public:
    explicit GLProgram(QOpenGLFunctions_3_3_Core* gl);
    ~GLProgram();
    GLProgram(const GLProgram&) = delete;
    GLProgram& operator=(const GLProgram&) = delete;

    void AddShader(std::unique_ptr<GLShader> shader);
    // Links, logs the driver's link log when there is one, then drops every
    // pending shader. A failed link is not otherwise reported.
    void LinkProgram();
    GLint GetUniformLocation(const char* name) const;
    GLuint Name() const { return program_; }

private:
    QOpenGLFunctions_3_3_Core* gl_;
    GLuint program_ = 0;
    std::vector<std::unique_ptr<GLShader>> shaders_;
};
