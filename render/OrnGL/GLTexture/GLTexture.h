#pragma once

#include <QOpenGLFunctions_3_3_Core>

// One 2D texture: repeat wrapping, linear filtering. Uploads read tightly
// packed rows whatever the row length.
class GLTexture {
public:
    explicit GLTexture(QOpenGLFunctions_3_3_Core* gl);
    ~GLTexture();
    GLTexture(const GLTexture&) = delete;
    GLTexture& operator=(const GLTexture&) = delete;

    // Uploads level 0 (unsigned bytes, or `type`). When the size, formats
    // and type match the last upload the existing storage is refilled in
    // place.
    void SetData(const void* pixels, int width, int height, GLint internalFormat, GLenum format,
                 GLenum type = GL_UNSIGNED_BYTE);
    // Filters for drawing the texture smaller and larger than its size.
    void SetFilters(GLint minFilter, GLint magFilter);
    // Decodes an image file and uploads it as RGB. Returns 0, or -1 when the
    // file cannot be decoded (the texture is then unchanged).
    int LoadImageW(const char* path);

    GLuint Name() const { return texture_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    QOpenGLFunctions_3_3_Core* gl_;
    GLuint texture_ = 0;
    int width_ = 0;
    int height_ = 0;
    GLint internalFormat_ = 0;
    GLenum format_ = 0;
    GLenum type_ = 0;
};
