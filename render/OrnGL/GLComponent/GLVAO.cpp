#include "render/OrnGL/GLComponent/GLVAO.h"

GLVAO::GLVAO(QOpenGLFunctions_3_3_Core* gl) : gl_(gl)
{
    gl_->glGenVertexArrays(1, &vao_);
}

GLVAO::~GLVAO()
{
    Destroy();
}

void GLVAO::AddVertexBuffer(const void* data, int byteSize, GLuint location, int components, int stride)
{
    gl_->glBindVertexArray(vao_);
    GLuint buffer = 0;
    gl_->glGenBuffers(1, &buffer);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, buffer);
    gl_->glBufferData(GL_ARRAY_BUFFER, byteSize, data, GL_STATIC_DRAW);
    gl_->glVertexAttribPointer(location, components, GL_FLOAT, GL_FALSE, stride, nullptr);
    gl_->glEnableVertexAttribArray(location);
    gl_->glBindVertexArray(0);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, 0);
    vertexBuffers_.push_back(buffer);
}

void GLVAO::SetIndexBuffer(const void* data, int byteSize)
{
    gl_->glBindVertexArray(vao_);
    indexCount_ = byteSize / 4;
    if (indexBuffer_)
        gl_->glDeleteBuffers(1, &indexBuffer_);
    gl_->glGenBuffers(1, &indexBuffer_);
    // Bound while the vertex array is, so the array records it.
    gl_->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    gl_->glBufferData(GL_ELEMENT_ARRAY_BUFFER, byteSize, data, GL_STATIC_DRAW);
    gl_->glBindVertexArray(0);
}

void GLVAO::Draw()
{
    gl_->glBindVertexArray(vao_);
    gl_->glDrawElements(GL_TRIANGLES, indexCount_, GL_UNSIGNED_INT, nullptr);
    gl_->glBindVertexArray(0);
}

void GLVAO::Destroy()
{
    if (!vertexBuffers_.empty())
        gl_->glDeleteBuffers(static_cast<GLsizei>(vertexBuffers_.size()), vertexBuffers_.data());
    vertexBuffers_.clear();
    if (indexBuffer_)
        gl_->glDeleteBuffers(1, &indexBuffer_);
    indexBuffer_ = 0;
    if (vao_)
        gl_->glDeleteVertexArrays(1, &vao_);
    vao_ = 0;
    indexCount_ = 0;
}
