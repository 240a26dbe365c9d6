#pragma once

#include <vector>

#include <QOpenGLFunctions_3_3_Core>

// A vertex array with its vertex buffers and one index buffer of 32-bit
// indices, drawn as triangles.
class GLVAO {
public:
    explicit GLVAO(QOpenGLFunctions_3_3_Core* gl);
    ~GLVAO();
    GLVAO(const GLVAO&) = delete;
    GLVAO& operator=(const GLVAO&) = delete;

    // Adds one more buffer of floats feeding attribute `location`.
    void AddVertexBuffer(const void* data, int byteSize, GLuint location, int components, int stride);
    void SetIndexBuffer(const void* data, int byteSize);
    void Draw();
    // Deletes every buffer and the vertex array; safe to call twice.
    void Destroy();

    GLuint Name() const { return vao_; }
    GLuint IndexBuffer() const { return indexBuffer_; }
    const std::vector<GLuint>& VertexBuffers() const { return vertexBuffers_; }
    int IndexCount() const { return indexCount_; }

private:
    GLuint vao_ = 0;
    GLuint indexBuffer_ = 0;
    std::vector<GLuint> vertexBuffers_;
    int indexCount_ = 0;
    QOpenGLFunctions_3_3_Core* gl_;
};
