#pragma once

#include <QOpenGLFunctions_3_3_Core>

// One compiled shader stage. Compilation problems are only logged: the
// shader object is kept and used as the driver left it.
class GLShader {
public:
    GLShader(QOpenGLFunctions_3_3_Core* gl, GLenum stage, const char* source);
    ~GLShader();
    GLShader(const GLShader&) = delete;
    GLShader& operator=(const GLShader&) = delete;

    GLuint Name() const { return shader_; }

private:
    QOpenGLFunctions_3_3_Core* gl_;
    GLuint shader_ = 0;
};
