#include "render/OrnGL/GLTexture/GLTexture.h"

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "base/LogPrint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

// The file for reading, or null when it is not a regular file: opening a
// FIFO without O_NONBLOCK would wait for a writer.
FILE* OpenRegularFile(const char* path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    FILE* file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
}

} // namespace

GLTexture::GLTexture(QOpenGLFunctions_3_3_Core* gl) : gl_(gl)
{
    gl_->glGenTextures(1, &texture_);
    gl_->glBindTexture(GL_TEXTURE_2D, texture_);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl_->glBindTexture(GL_TEXTURE_2D, 0);
}

GLTexture::~GLTexture()
{
    if (texture_)
        gl_->glDeleteTextures(1, &texture_);
}

void GLTexture::SetData(const void* pixels, int width, int height, GLint internalFormat, GLenum format, GLenum type)
{
    gl_->glBindTexture(GL_TEXTURE_2D, texture_);
    // Rows of one-byte texels are not padded to four bytes.
    GLint alignment = 4;
    gl_->glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (pixels && width == width_ && height == height_ && internalFormat == internalFormat_ && format == format_ &&
        type == type_) {
        gl_->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, type, pixels);
    } else {
        gl_->glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, pixels);
        width_ = width;
        height_ = height;
        internalFormat_ = internalFormat;
        format_ = format;
        type_ = type;
    }
    gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    gl_->glBindTexture(GL_TEXTURE_2D, 0);
}

void GLTexture::SetFilters(GLint minFilter, GLint magFilter)
{
    gl_->glBindTexture(GL_TEXTURE_2D, texture_);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
    gl_->glBindTexture(GL_TEXTURE_2D, 0);
}

int GLTexture::LoadImageW(const char* path)
{
    static const char* const kSource = "..\\OrnGL\\GLTexture\\GLTexture";
    gl_->glBindTexture(GL_TEXTURE_2D, texture_);
    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_set_flip_vertically_on_load(0);
    // Always expanded to three bytes per texel: the upload is RGB whatever
    // the file stores.
    stbi_uc* pixels = nullptr;
    if (FILE* file = path ? OpenRegularFile(path) : nullptr) {
        pixels = stbi_load_from_file(file, &width, &height, &channels, 3);
        std::fclose(file);
    }
    LogPrint(kSource, "LoadImageW", 41, LOG_LEVEL_INFO, "width:%d\n", width);
    LogPrint(kSource, "LoadImageW", 42, LOG_LEVEL_INFO, "height:%d\n", height);
    LogPrint(kSource, "LoadImageW", 43, LOG_LEVEL_INFO, "channels:%d\n", channels);
    int result = -1;
    if (pixels) {
        GLint alignment = 4;
        gl_->glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        gl_->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
        gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        width_ = width;
        height_ = height;
        internalFormat_ = GL_RGB;
        format_ = GL_RGB;
        stbi_image_free(pixels);
        result = 0;
    }
    gl_->glBindTexture(GL_TEXTURE_2D, 0);
    return result;
}
