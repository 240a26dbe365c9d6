#pragma once

#include <memory>

#include <QOpenGLFunctions_3_3_Core>

#include "render/OrnGL/GLProgram/GLProgram.h"
#include "render/OrnGL/GLTexture/GLTexture.h"

class GLVAO;

// A linked program and the vertex array it draws. Type 1 draws into the
// current frame buffer; type 2 owns a frame buffer with an RGB texture of
// width x height that it renders into while the caller has bound it.
class DrawCall {
public:
    DrawCall(QOpenGLFunctions_3_3_Core* gl, const char* vertexSource, const char* fragmentSource, int width,
             int height, int type);
    ~DrawCall();
    DrawCall(const DrawCall&) = delete;
    DrawCall& operator=(const DrawCall&) = delete;

    // Not owned; must outlive every draw through it.
    void SetVAO(GLVAO* vao) { vao_ = vao; }
    void BindTarget();
    void SetUniformInt(const char* name, int value);
    void SetUniformFloat(const char* name, float value);
    // A vec2 (count 2) or vec4 (count 4).
    void SetUniformVec(const char* name, const float* values, int count);
    // 16 floats, column after column.
    void SetUniformMatrix(const char* name, const float* matrix);
    // Draws the vertex array with the program, then waits for the GL.
    void Draw();

    GLProgram* Program() const { return program_.get(); }
    GLuint FrameBuffer() const { return frameBuffer_; }
    GLTexture* TargetTexture() const { return texture_.get(); }
    int Type() const { return type_; }

private:
    QOpenGLFunctions_3_3_Core* gl_;
    std::unique_ptr<GLProgram> program_;
    GLVAO* vao_ = nullptr;
    GLuint frameBuffer_ = 0;
    int width_;
    int height_;
    int type_;
    std::unique_ptr<GLTexture> texture_;
};
