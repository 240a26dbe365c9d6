#include "render/GLLimits.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace {

int QueryMaxTextureSize()
{
    QOpenGLContext* previous = QOpenGLContext::currentContext();
    QSurface* previousSurface = previous ? previous->surface() : nullptr;
    QOpenGLContext context;
    context.setFormat(QSurfaceFormat::defaultFormat());
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    int size = 0;
    if (context.create() && surface.isValid() && context.makeCurrent(&surface)) {
        GLint value = 0;
        context.functions()->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &value);
        size = static_cast<int>(value);
        context.doneCurrent();
    }
    if (previous && previousSurface)
        previous->makeCurrent(previousSurface);
    return size > 0 ? size : kDefaultMaxTextureSize;
}

} // namespace

int MaxTextureSize()
{
    static const int size = QueryMaxTextureSize();
    return size;
}

bool FrameFitsTexture(int width, int height)
{
    return width > 0 && height > 0 && width <= MaxTextureSize() && height <= MaxTextureSize();
}
