#include "render/YUVShowView.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include <QFile>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "render/OrnGL/GLComponent/DrawCall.h"
#include "render/OrnGL/GLComponent/GLVAO.h"
#include "render/OrnGL/GLTexture/GLTexture.h"
#include "render/PixelValueOverlay.h"
#include "base/LogPrint.h"
#include "yuv/YuvColorMatrix.h"
#include "yuv/YuvConvert.h"
#include "yuv/YuvTypeTable.h"
#include "math/Mat4x4.h"
#include "yuv/PixelMath.h"
#include "render/YuvShaders.h"

namespace {

int DepthOf(const std::string& type)
{
    const lumo::YuvTypeInfo* info = lumo::YuvTypeTable::Instance().Find(type);
    return info ? info->bitDepth : 8;
}

} // namespace

YUVShowView::YUVShowView(const QString& path, int frameWidth, int frameHeight, const QString& type, QWidget* parent)
    : QOpenGLWidget(parent),
      geometry_(frameWidth, frameHeight),
      frameWidth_(frameWidth),
      frameHeight_(frameHeight),
      type_(type.toUtf8().toStdString()),
      depth_(DepthOf(type_)),
      cache_(path.isNull() ? std::string() : QFile::encodeName(path).toStdString(), frameWidth, frameHeight, type_,
             depth_)
{
    // Moves without a button report the pixel under the mouse; only moves
    // with a button held pan or draw.
    setMouseTracking(true);
    valueOverlay_ = new PixelValueOverlay(
        this, [this] { return ValueGrid(); }, [this](int x, int y, int yuv[3]) { return SampleAt(x, y, yuv); });
}

YUVShowView::~YUVShowView()
{
    ReleaseGL();
    // The base class destroys the context after this object is gone; its
    // aboutToBeDestroyed must not reach ReleaseGL then.
    if (context())
        disconnect(context(), nullptr, this, nullptr);
}

void YUVShowView::ReleaseGL()
{
    if (!frameCall_ && !textureY_ && !quad_)
        return;
    makeCurrent();
    frameCall_.reset();
    channelCall_.reset();
    rectCall_.reset();
    textureY_.reset();
    textureU_.reset();
    textureV_.reset();
    quad_.reset();
    texturesFilled_ = false;
    doneCurrent();
}

void YUVShowView::SetFrameOffset(int64_t offset)
{
    frameOffset_ = offset;
    // Awaited planes repaint the view when they come; a paint before would
    // only draw the frame it already shows.
    if (!cache_.Expecting(offset))
        update();
}

int YUVShowView::SetVisible(int y, int u, int v)
{
    showY_ = y;
    showU_ = u;
    showV_ = v;
    update();
    return 0;
}

void YUVShowView::SetColorRange(int colorRange)
{
    colorRange_ = colorRange;
    update();
}

void YUVShowView::SetGamma(float gamma)
{
    gamma_ = gamma;
    update();
}

void YUVShowView::SetRect(float startX, float startY, float endX, float endY)
{
    rectStartX_ = startX;
    rectStartY_ = startY;
    rectEndX_ = endX;
    rectEndY_ = endY;
    update();
}

void YUVShowView::FitFrame()
{
    geometry_.Fit();
    lastX_ = 0;
    update();
}

void YUVShowView::initializeGL()
{
    // Moving the widget to another window replaces the context: release the
    // objects while the old one is still there.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &YUVShowView::ReleaseGL, Qt::UniqueConnection);

    // Without a 3.3 core context every call below would go through a null
    // function pointer: draw nothing but a cleared surface instead.
    glReady_ = initializeOpenGLFunctions();
    if (!glReady_) {
        qWarning() << "YUVShowView: no OpenGL 3.3 core context; the frame cannot be drawn";
        return;
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);

    textureY_ = std::make_unique<GLTexture>(this);
    textureU_ = std::make_unique<GLTexture>(this);
    textureV_ = std::make_unique<GLTexture>(this);
    // Magnified, each frame pixel (and each chroma block, replicated in the
    // 4:4:4 planes) shows as flat squares; smaller than its size the frame
    // stays smooth.
    for (GLTexture* t : {textureY_.get(), textureU_.get(), textureV_.get()})
        t->SetFilters(GL_LINEAR, GL_NEAREST);
    quad_ = std::make_unique<GLVAO>(this);
    texturesFilled_ = false;
    uploaded_ = Uploaded();

    // The frame chosen before the GL came up stays chosen.
    update();

    static const float kPositions[12] = {1, 1, 0, 1, -1, 0, -1, -1, 0, -1, 1, 0};
    static const float kTexCoords[12] = {1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0};
    static const uint32_t kIndices[6] = {0, 1, 3, 1, 2, 3};
    quad_->AddVertexBuffer(kPositions, sizeof(kPositions), 0, 3, 0);
    quad_->AddVertexBuffer(kTexCoords, sizeof(kTexCoords), 1, 3, 0);
    quad_->SetIndexBuffer(kIndices, sizeof(kIndices));

    frameCall_ = std::make_unique<DrawCall>(this, kQuadVertexShader, kFrameFragmentShader, 100, 100, 1);
    frameCall_->SetVAO(quad_.get());
    channelCall_ = std::make_unique<DrawCall>(this, kQuadVertexShader, kChannelFragmentShader, 100, 100, 1);
    channelCall_->SetVAO(quad_.get());
    rectCall_ = std::make_unique<DrawCall>(this, kRectVertexShader, kRedFragmentShader, 100, 100, 1);

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
}

void YUVShowView::resizeGL(int w, int h)
{
    geometry_.SetViewSize(static_cast<float>(w), static_cast<float>(h));
}

void YUVShowView::ExpectPlanes(int64_t offset)
{
    cache_.Expect(offset);
}

void YUVShowView::AdoptPlanes(int64_t offset, Planes planes, Planes stored)
{
    if (!cache_.Adopt(offset, frameOffset_, std::move(planes), std::move(stored)))
        return;
    update();
    emit planesChanged();
}

void YUVShowView::CancelExpectedPlanes()
{
    if (cache_.CancelExpected())
        update();
}

const uint8_t* YUVShowView::CurrentPlanes(uint64_t* serial)
{
    cache_.Refresh(frameOffset_);
    *serial = cache_.Serial();
    return cache_.Yuv444();
}

void YUVShowView::UploadTextures()
{
    if (!cache_.Holds())
        return;
    const int64_t n = static_cast<int64_t>(frameWidth_) * frameHeight_;
    Uploaded want;
    want.own = cache_.Serial();
    const uint8_t* source = cache_.Yuv444();
    if (diffRef_ && diffRef_->frameWidth_ == frameWidth_ && diffRef_->frameHeight_ == frameHeight_) {
        uint64_t refSerial = 0;
        const uint8_t* reference = diffRef_->CurrentPlanes(&refSerial);
        if (!diffPlanes_)
            diffPlanes_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(3 * n)]);
        if (reference && diffPlanes_) {
            want.ref = refSerial;
            want.gain = diffGain_;
            if (!(want == uploaded_))
                DiffSamples(reference, cache_.Yuv444(), static_cast<size_t>(3 * n), diffGain_, diffPlanes_.get());
            source = diffPlanes_.get();
        }
    }
    if (texturesFilled_ && want == uploaded_)
        return;
    // A deeper layout draws from its own samples (16-bit texels), so its
    // colours come from the matrix at its depth; a difference stays 8-bit.
    if (depth_ > 8 && want.gain == 0 && cache_.Stored()) {
        if (!nativePlanes_)
            nativePlanes_.reset(new (std::nothrow) uint16_t[static_cast<size_t>(3 * n)]);
        if (nativePlanes_ &&
            lumo::ConvertRawToYuv444Native(cache_.Stored(), frameWidth_, frameHeight_, type_, nativePlanes_.get())) {
            const uint16_t* native = nativePlanes_.get();
            for (int p = 0; p < 3; ++p)
                Textures()[p]->SetData(native + p * n, frameWidth_, frameHeight_, GL_R16, GL_RED, GL_UNSIGNED_SHORT);
            textureDepth_ = depth_;
            textureMax_ = 65535.0f;
            uploaded_ = want;
            texturesFilled_ = true;
            return;
        }
    }
    for (int p = 0; p < 3; ++p)
        Textures()[p]->SetData(source + p * n, frameWidth_, frameHeight_, GL_RED, GL_RED);
    textureDepth_ = 8;
    textureMax_ = 255.0f;
    uploaded_ = want;
    texturesFilled_ = true;
}

void YUVShowView::SetDiffReference(YUVShowView* reference, int gain)
{
    if (diffRef_)
        disconnect(diffRef_, &YUVShowView::planesChanged, this, nullptr);
    diffRef_ = reference;
    diffGain_ = gain;
    if (reference)
        connect(reference, &YUVShowView::planesChanged, this, QOverload<>::of(&QWidget::update));
    else
        diffPlanes_.reset();
    update();
}

bool YUVShowView::SampleAt(int x, int y, int yuv[3]) const
{
    if (depth_ == 8)
        return ShownSampleAt(x, y, yuv);
    uint16_t samples[3];
    if (!cache_.Stored() || x < 0 || y < 0 || x >= frameWidth_ || y >= frameHeight_ ||
        !lumo::GetRowNativeSamples(cache_.Stored(), frameWidth_, frameHeight_, type_, y, &x, 1, samples))
        return false;
    for (int p = 0; p < 3; ++p)
        yuv[p] = samples[p];
    return true;
}

bool YUVShowView::ShownSampleAt(int x, int y, int yuv[3]) const
{
    if (!cache_.Holds() || x < 0 || y < 0 || x >= frameWidth_ || y >= frameHeight_)
        return false;
    const int64_t n = static_cast<int64_t>(frameWidth_) * frameHeight_;
    const int64_t i = static_cast<int64_t>(y) * frameWidth_ + x;
    for (int p = 0; p < 3; ++p)
        yuv[p] = cache_.Yuv444()[p * n + i];
    return true;
}

double YUVShowView::PixelScale() const
{
    return geometry_.PixelScale();
}

void YUVShowView::PlacePixelValues()
{
    const bool show = PixelScale() >= kValueScale && cache_.Holds() && texturesFilled_;
    if (show) {
        valueOverlay_->setGeometry(rect());
        valueOverlay_->update();
    }
    valueOverlay_->setVisible(show);
}

PixelGrid YUVShowView::ValueGrid() const
{
    PixelGrid grid;
    if (!cache_.Holds())
        return grid;
    grid.scale = PixelScale();
    // Widget position of the frame's top-left corner.
    grid.left = geometry_.FrameLeft();
    grid.top = geometry_.FrameTop();
    grid.frameWidth = frameWidth_;
    grid.frameHeight = frameHeight_;
    grid.depth = depth_;
    return grid;
}

void YUVShowView::paintGL()
{
    if (!glReady_) {
        context()->functions()->glClear(GL_COLOR_BUFFER_BIT);
        return;
    }
    glClear(GL_COLOR_BUFFER_BIT);

    const bool sizeOk = frameWidth_ > 0 && frameHeight_ > 0 && frameWidth_ <= maxTextureSize_ &&
                        frameHeight_ <= maxTextureSize_;
    if (!sizeOk && !tooLargeLogged_) {
        tooLargeLogged_ = true;
        LogPrint("YUVShowView", "paintGL", __LINE__, LOG_LEVEL_WARNING,
                 "frame %dx%d cannot be shown: the GL's largest texture is %d\n", frameWidth_, frameHeight_,
                 static_cast<int>(maxTextureSize_));
    }

    if (sizeOk) {
        cache_.Refresh(frameOffset_);
        UploadTextures();
    }

    float matrix[16];
    float projectionT[16];
    const ViewGeometry::Span span = geometry_.Layout(matrix, projectionT);
    emit updataRuler(span.hStart, span.hEnd, span.vStart, span.vEnd);
    PlacePixelValues();
    ReportHoveredPixel();

    // Textures that were never filled hold undefined texels (a solid green
    // frame on Mesa): until a frame has been read, only the background shows.
    if (!sizeOk || !texturesFilled_)
        return;

    frameCall_->SetUniformMatrix("yuvMatrix", matrix);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, textureY_->Name());
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, textureU_->Name());
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, textureV_->Name());
    glActiveTexture(GL_TEXTURE0);
    frameCall_->SetUniformInt("y", 0);
    frameCall_->SetUniformInt("u", 1);
    frameCall_->SetUniformInt("v", 2);
    SetColourUniforms();
    frameCall_->Draw();

    DrawRect(projectionT);
    DrawThumbnails();
    glFinish();
}

void YUVShowView::SetColourUniforms()
{
    // A difference view shows 8-bit differences whatever the file's depth.
    const int depth = textureDepth_;
    lumo::ColorMatrix m;
    if (!lumo::MatrixFor(colorRange_, depth, &m))
        lumo::MatrixFor(static_cast<int>(lumo::ViewRange::Bt601Full), depth, &m);
    const float offsets[2] = {static_cast<float>(m.yOffset), static_cast<float>(m.cOffset)};
    const float scales[2] = {static_cast<float>(m.yScale), static_cast<float>(m.cScale)};
    const float coeffs[4] = {static_cast<float>(m.rv), static_cast<float>(m.gu), static_cast<float>(m.gv),
                             static_cast<float>(m.bu)};
    frameCall_->SetUniformFloat("sampleMax", textureMax_);
    frameCall_->SetUniformVec("offsets", offsets, 2);
    frameCall_->SetUniformVec("scales", scales, 2);
    frameCall_->SetUniformVec("coeffs", coeffs, 4);
    frameCall_->SetUniformFloat("gamma", gamma_);
}

void YUVShowView::DrawRect(const float* projection)
{
    const ViewGeometry::Extent& e = geometry_.LastExtent();
    const float fw = std::fabs(e.right - e.left);
    const float fh = std::fabs(e.bottom - e.top);
    const float x0 = e.left + fw * rectStartX_;
    const float y0 = e.top + fh * rectStartY_;
    const float x1 = e.left + fw * rectEndX_;
    const float y1 = e.top + fh * rectEndY_;
    const float edges[4][4] = {
        {x0, y0, x1, y0}, // top
        {x1, y0, x1, y1}, // right
        {x0, y1, x1, y1}, // bottom
        {x0, y0, x0, y1}, // left
    };
    for (const auto& edge : edges) {
        GLVAO vao(this);
        line_.SetWidth(3.0f);
        line_.SetStart(edge[0], edge[1]);
        line_.SetEnd(edge[2], edge[3]);
        line_.ComputeCorners();
        float vertices[12];
        uint32_t indices[6];
        line_.WriteVertices(vertices);
        line_.WriteIndices(indices);
        vao.AddVertexBuffer(vertices, sizeof(vertices), 0, 3, 0);
        vao.SetIndexBuffer(indices, sizeof(indices));
        rectCall_->SetVAO(&vao);
        rectCall_->SetUniformMatrix("mvp", projection);
        rectCall_->Draw();
        rectCall_->SetVAO(nullptr);
        vao.Destroy();
    }
}

void YUVShowView::DrawThumbnails()
{
    const float w = geometry_.ViewWidth();
    const float h = geometry_.ViewHeight();
    channelCall_->SetUniformInt("y", 0);
    channelCall_->SetUniformInt("u", 1);
    channelCall_->SetUniformInt("v", 2);
    channelCall_->SetUniformFloat("grey", textureMax_ / static_cast<float>(255 << (textureDepth_ - 8)));
    const float k = (static_cast<float>(frameWidth_) / static_cast<float>(frameHeight_)) * (0.2f * h) / w;
    const struct {
        int show;
        float t;
        int type;
    } thumbs[3] = {{showY_, 4.0f, 1}, {showU_, 1.9f, 2}, {showV_, -0.2f, 3}};
    for (const auto& slot : thumbs) {
        if (!slot.show)
            continue;
        Mat4x4 scale;
        scale.SetScale(k, 0.2f, 1.0f);
        Mat4x4 translate;
        translate.SetTranslate(1.0f - 1.0f / k, slot.t, 0.0f);
        float matrix[16];
        (scale * translate).Transpose().Flatten(matrix);
        channelCall_->SetUniformMatrix("yuvMatrix", matrix);
        channelCall_->SetUniformInt("type", slot.type);
        channelCall_->Draw();
    }
}

bool YUVShowView::PixelAt(double x, double y, int* px, int* py) const
{
    return geometry_.PixelAt(x, y, px, py);
}

void YUVShowView::ClampRect()
{
    const FrameRect r = ClampFrameRect({rectStartX_, rectStartY_, rectEndX_, rectEndY_},
                                       {savedRect_[0], savedRect_[1], savedRect_[2], savedRect_[3]});
    rectStartX_ = r.startX;
    rectStartY_ = r.startY;
    rectEndX_ = r.endX;
    rectEndY_ = r.endY;
}

void YUVShowView::SaveRect()
{
    savedRect_[0] = rectStartX_;
    savedRect_[1] = rectStartY_;
    savedRect_[2] = rectEndX_;
    savedRect_[3] = rectEndY_;
}

void YUVShowView::mousePressEvent(QMouseEvent* event)
{
    if (drawMode_ != 2)
        return;
    float nx = 0.0f;
    float ny = 0.0f;
    geometry_.Normalised(event->pos().x(), event->pos().y(), &nx, &ny);
    SaveRect();
    rectStartX_ = rectEndX_ = nx;
    rectStartY_ = rectEndY_ = ny;
    ClampRect();
    emit updateRect(rectStartX_, rectStartY_, rectEndX_, rectEndY_);
    update();
}

void YUVShowView::mouseMoveEvent(QMouseEvent* event)
{
    mouseInside_ = true;
    mousePos_ = event->localPos();
    if (event->buttons() == Qt::NoButton) {
        int px = -1;
        int py = -1;
        if (!PixelAt(mousePos_.x(), mousePos_.y(), &px, &py))
            px = py = -1;
        hoveredPixel_ = QPoint(px, py);
        emit pixelHovered(px, py);
        return;
    }
    const int x = event->pos().x();
    const int y = event->pos().y();
    if (drawMode_ == 2) {
        float nx = 0.0f;
        float ny = 0.0f;
        geometry_.Normalised(x, y, &nx, &ny);
        SaveRect();
        rectEndX_ = nx;
        rectEndY_ = ny;
        ClampRect();
        emit updateRect(rectStartX_, rectStartY_, rectEndX_, rectEndY_);
        update();
        return;
    }
    const bool moved = lastX_ != 0 && (x != lastX_ || y != lastY_);
    if (lastX_ != 0) {
        geometry_.PanBy(x - lastX_, y - lastY_);
    }
    lastX_ = x;
    lastY_ = y;
    update();
    if (moved)
        emit placeChanged();
}

void YUVShowView::mouseReleaseEvent(QMouseEvent* event)
{
    if (drawMode_ == 2) {
        float nx = 0.0f;
        float ny = 0.0f;
        geometry_.Normalised(event->pos().x(), event->pos().y(), &nx, &ny);
        SaveRect();
        rectEndX_ = nx;
        rectEndY_ = ny;
        ClampRect();
        emit updateRect(rectStartX_, rectStartY_, rectEndX_, rectEndY_);
        update();
        return;
    }
    lastX_ = 0;
    update();
}

void YUVShowView::leaveEvent(QEvent* event)
{
    mouseInside_ = false;
    hoveredPixel_ = QPoint(-1, -1);
    emit mouseLeft();
    QOpenGLWidget::leaveEvent(event);
}

void YUVShowView::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    if (delta == 0)
        return;
    ZoomAbout(std::pow(kWheelStep, delta / 120.0), event->position().x(), event->position().y());
}

void YUVShowView::ZoomAbout(double factor, double x, double y)
{
    if (!geometry_.ZoomAbout(factor, x, y))
        return;
    update();
    emit placeChanged();
}

void YUVShowView::ZoomAboutCentre(double factor)
{
    ZoomAbout(factor, geometry_.ViewWidth() / 2.0, geometry_.ViewHeight() / 2.0);
}

void YUVShowView::ShowActualPixels()
{
    const double scale = CurrentPlace().scale;
    if (scale > 0)
        ZoomAboutCentre(1.0 / scale);
}

YUVShowView::Place YUVShowView::CurrentPlace() const
{
    return geometry_.CurrentPlace();
}

void YUVShowView::SetPlace(const Place& place)
{
    if (geometry_.SetPlace(place))
        update();
}

void YUVShowView::ReportHoveredPixel()
{
    if (!mouseInside_)
        return;
    QPoint pixel(-1, -1);
    int px = -1;
    int py = -1;
    if (PixelAt(mousePos_.x(), mousePos_.y(), &px, &py))
        pixel = QPoint(px, py);
    if (pixel == hoveredPixel_)
        return;
    hoveredPixel_ = pixel;
    emit pixelHovered(pixel.x(), pixel.y());
}
