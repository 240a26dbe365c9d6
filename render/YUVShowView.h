#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLWidget>
#include <QPointer>
#include <QString>

#include "math/LineQuad.h"
#include "math/ViewGeometry.h"
#include "yuv/FramePlaneCache.h"

class DrawCall;
class PixelValueOverlay;
struct PixelGrid;
class GLTexture;
class GLVAO;
class QPainter;

// Shows one frame of a raw YUV file through OpenGL, fitted to the view, with
// wheel zoom, drag to pan or to draw a region-of-interest rectangle, and
// optional grey thumbnails of the three planes.
//
// Rectangle coordinates: x runs from 0 at the frame's left edge to 1 at its
// right edge, y from 0 at its top edge to -1 at its bottom edge.
class YUVShowView : public QOpenGLWidget, public QOpenGLFunctions_3_3_Core {
    Q_OBJECT

public:
    YUVShowView(const QString& path, int frameWidth, int frameHeight, const QString& type,
                QWidget* parent = nullptr);
    ~YUVShowView() override;

    void SetFrameOffset(int64_t offset);
    // Full-size planes (Y, U, V of width x height bytes), shared read-only.
    using Planes = lumo::FramePlaneCache::Planes;
    // The planes of the frame at `offset` are being read elsewhere and will
    // come through AdoptPlanes: until then a paint at that offset keeps the
    // frame it shows instead of reading the file itself, and moving to that
    // offset does not repaint.
    void ExpectPlanes(int64_t offset);
    // Planes read elsewhere; taken when `offset` is still the frame to show.
    // A layout deeper than 8 bits comes with the frame's bytes as stored
    // (ReadFrameYUV444AndRaw), where the inspector finds its samples.
    void AdoptPlanes(int64_t offset, Planes planes, Planes stored = nullptr);
    // The awaited planes will not come: the next paint reads for itself.
    void CancelExpectedPlanes();
    // Offset of the frame whose planes the view holds, -1 before any.
    int64_t PlanesOffset() const { return cache_.Offset(); }
    // The file's own samples of frame pixel (x, y) in the frame the view
    // holds (the chroma sample the layout gives that pixel), at the file's
    // depth; false when it holds none or (x, y) lies outside the frame.
    bool SampleAt(int x, int y, int yuv[3]) const;
    // The same as the 8-bit samples the view draws (equal to SampleAt for
    // 8-bit layouts).
    bool ShownSampleAt(int x, int y, int yuv[3]) const;
    // The 8-bit Y, U, V planes (width x height each) the view holds for
    // its frame, null when it holds none.
    const uint8_t* ShownPlanes() const { return cache_.Yuv444(); }
    // Significant bits per sample of the file's layout.
    int BitDepth() const { return depth_; }
    int ColorRange() const { return colorRange_; }
    float Gamma() const { return gamma_; }
    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }
    // Screen pixels per frame pixel after the last paint.
    double PixelScale() const;
    // At this scale and above every visible frame pixel shows its values.
    static constexpr double kValueScale = 48.0;

    // Shows this view's frame minus `reference`'s frame, plane by plane, as
    // 128 + gain * difference; null turns the difference off. The
    // reference must show a frame of the same size.
    void SetDiffReference(YUVShowView* reference, int gain);
    bool ShowsDiff() const { return !diffRef_.isNull(); }
    int SetVisible(int y, int u, int v);
    void SetColorRange(int colorRange);
    void SetGamma(float gamma);
    void SetRect(float startX, float startY, float endX, float endY);
    void SetDrawMode(int mode) { drawMode_ = mode; }
    int GetDrawMode() const { return drawMode_; }
    // The whole frame visible and centred: zoom 1, or less where zoom 1 would
    // cut the frame, and no pan.
    void FitFrame();

    // Zoom: each wheel notch multiplies it by kWheelStep about the point
    // under the mouse, between kMinZoom and a ceiling (ViewGeometry).
    static constexpr double kWheelStep = ViewGeometry::kWheelStep;
    static constexpr float kMinZoom = ViewGeometry::kMinZoom;
    // Multiplies the zoom by `factor`, keeping the frame point under widget
    // position (x, y) where it is.
    void ZoomAbout(double factor, double x, double y);
    // The same about the view's centre.
    void ZoomAboutCentre(double factor);
    // One frame pixel per screen pixel, about the view's centre.
    void ShowActualPixels();

    // Where the frame lies in the view (see ViewGeometry::Place).
    using Place = ViewGeometry::Place;
    Place CurrentPlace() const;
    // Takes a place without reporting it (placeChanged is the user's).
    void SetPlace(const Place& place);

    float Zoom() const { return geometry_.Zoom(); }
    int PanX() const { return static_cast<int>(std::lround(geometry_.PanX())); }
    int PanY() const { return static_cast<int>(std::lround(geometry_.PanY())); }
    int64_t FrameOffset() const { return frameOffset_; }
    float RectStartX() const { return rectStartX_; }
    float RectStartY() const { return rectStartY_; }
    float RectEndX() const { return rectEndX_; }
    float RectEndY() const { return rectEndY_; }

signals:
    void updataRuler(int hStart, int hEnd, int vStart, int vEnd);
    void updateRect(float rectStartX, float rectStartY, float rectEndX, float rectEndY);
    // The mouse moved over the view without a button held: the frame pixel
    // under it, (-1, -1) when it is beside the frame.
    void pixelHovered(int x, int y);
    // The mouse left the view.
    void mouseLeft();
    // Planes read elsewhere arrived (AdoptPlanes); a view reading its own
    // frame while it paints reports nothing beyond the paint.
    void planesChanged();
    // The user zoomed or panned (wheel, drag, the zoom calls); FitFrame and
    // SetPlace do not report.
    void placeChanged();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private slots:
    void ReleaseGL();

private:
    // The planes for the current offset, read when needed (no GL).
    const uint8_t* CurrentPlanes(uint64_t* serial);
    // What the textures must hold; uploads it when it changed.
    void UploadTextures();
    std::array<GLTexture*, 3> Textures() const { return {textureY_.get(), textureU_.get(), textureV_.get()}; }
    void PlacePixelValues();
    void ReportHoveredPixel();

    // Where the frame pixels lie, for the value overlay.
    PixelGrid ValueGrid() const;
    void SetColourUniforms();
    void DrawRect(const float* projection);
    void DrawThumbnails();
public:
    // Frame pixel under widget position (x, y) after the last paint; false
    // when the position is beside the frame.
    bool PixelAt(double x, double y, int* px, int* py) const;

private:
    void SaveRect();
    void ClampRect();

    std::unique_ptr<DrawCall> frameCall_;
    std::unique_ptr<DrawCall> channelCall_;
    std::unique_ptr<DrawCall> rectCall_;
    std::unique_ptr<GLTexture> textureY_;
    std::unique_ptr<GLTexture> textureU_;
    std::unique_ptr<GLTexture> textureV_;
    std::unique_ptr<GLVAO> quad_;
    LineQuad line_;

    ViewGeometry geometry_;
    int lastX_ = 0;
    int lastY_ = 0;
    // The mouse's last position over the view and the pixel last reported
    // under it; a paint that moves another pixel there reports it.
    bool mouseInside_ = false;
    QPointF mousePos_;
    QPoint hoveredPixel_{-1, -1};
    int frameWidth_;
    int frameHeight_;
    std::string type_;
    int depth_ = 8;
    int showY_ = 0;
    int showU_ = 0;
    int showV_ = 0;
    int colorRange_ = 2;
    float gamma_ = 1.0f;
    int64_t frameOffset_ = 0;
    float rectStartX_ = 0.0f;
    float rectStartY_ = 0.0f;
    float rectEndX_ = 0.0f;
    float rectEndY_ = 0.0f;
    int drawMode_ = 1;
    float savedRect_[4] = {0, 0, 0, 0};

    // The planes of the frame shown (or the last one read).
    lumo::FramePlaneCache cache_;

    // What the textures hold: own planes or a difference, and of what.
    struct Uploaded {
        uint64_t own = 0;
        uint64_t ref = 0;
        int gain = 0; // 0: the view's own planes
        bool operator==(const Uploaded& o) const { return own == o.own && ref == o.ref && gain == o.gain; }
    } uploaded_;
    QPointer<YUVShowView> diffRef_;
    int diffGain_ = 1;
    std::unique_ptr<uint8_t[]> diffPlanes_;
    // Deeper layouts: the shown frame's samples at their own depth.
    std::unique_ptr<uint16_t[]> nativePlanes_;
    PixelValueOverlay* valueOverlay_ = nullptr;
    bool texturesFilled_ = false;
    // Depth of the samples in the textures and the level a texel of 1.0
    // stands for.
    int textureDepth_ = 8;
    float textureMax_ = 255.0f;
    GLint maxTextureSize_ = 0;
    bool tooLargeLogged_ = false;
    bool glReady_ = false;
};
