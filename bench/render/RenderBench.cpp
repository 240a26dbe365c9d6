// Paint costs of the YUV view in a 1280x720 view on whatever GL the display
// gives, against a bare upload-and-draw of the same planes measured in the
// same run. Run under xvfb-run.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QMouseEvent>
#include <QSurfaceFormat>
#include <QTest>
#include <QWheelEvent>

#include <benchmark/benchmark.h>

#include "render/OrnGL/GLComponent/DrawCall.h"
#include "render/OrnGL/GLComponent/GLVAO.h"
#include "render/OrnGL/GLTexture/GLTexture.h"
#include "yuv/LumoYuvReader.h"
#include "render/YUVShowView.h"
#include "render/YuvShaders.h"

namespace {

constexpr int kViewW = 1280;
constexpr int kViewH = 720;
constexpr int kFrames = 2;

class BenchView : public YUVShowView {
public:
    using YUVShowView::YUVShowView;
    void Paint()
    {
        makeCurrent();
        glViewport(0, 0, width(), height());
        paintGL();
        doneCurrent();
    }
};

// Colourful moving pattern, kFrames I420 frames.
std::string MakeFile(int w, int h)
{
    const std::string path = "/tmp/lumo-render-bench-" + std::to_string(w) + "x" + std::to_string(h) + ".yuv";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 3 / 2);
    for (int f = 0; f < kFrames; ++f) {
        uint8_t* y = frame.data();
        uint8_t* u = y + static_cast<size_t>(w) * h;
        uint8_t* v = u + static_cast<size_t>(w / 2) * (h / 2);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                y[static_cast<size_t>(r) * w + c] = static_cast<uint8_t>((c * 255 / w + r * 64 / h + f * 40) & 0xff);
        for (int r = 0; r < h / 2; ++r)
            for (int c = 0; c < w / 2; ++c) {
                u[static_cast<size_t>(r) * (w / 2) + c] = static_cast<uint8_t>(r * 255 / (h / 2));
                v[static_cast<size_t>(r) * (w / 2) + c] = static_cast<uint8_t>(255 - c * 255 / (w / 2) + f * 20);
            }
        out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
    }
    return path;
}

struct Fixture {
    int w, h;
    std::string path;
    std::unique_ptr<BenchView> view;
    int64_t frameSize;
};

Fixture& GetFixture(int w, int h)
{
    static std::vector<std::unique_ptr<Fixture>> fixtures;
    for (auto& f : fixtures)
        if (f->w == w && f->h == h)
            return *f;
    auto f = std::make_unique<Fixture>();
    f->w = w;
    f->h = h;
    f->path = MakeFile(w, h);
    f->frameSize = static_cast<int64_t>(w) * h * 3 / 2;
    f->view = std::make_unique<BenchView>(QString::fromStdString(f->path), w, h, QStringLiteral("YUV_TYPE_I420"));
    f->view->resize(kViewW, kViewH);
    f->view->show();
    if (!QTest::qWaitForWindowExposed(f->view.get()))
        std::fprintf(stderr, "view not exposed\n");
    f->view->SetColorRange(4);
    f->view->grabFramebuffer();
    fixtures.push_back(std::move(f));
    return *fixtures.back();
}

void SendMove(QWidget* w, int x, int y)
{
    QMouseEvent event(QEvent::MouseMove, QPointF(x, y), w->mapToGlobal(QPoint(x, y)), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Reference: upload three full-size planes and draw them once with the frame
// program, in the view's own context.
class BareUploadDraw {
public:
    explicit BareUploadDraw(Fixture& fx) : fx_(fx), gl_(fx.view.get())
    {
        lumo::LumoYuvReader reader(fx.path, fx.w, fx.h, "YUV_TYPE_I420");
        for (int f = 0; f < kFrames; ++f) {
            int64_t got = 0;
            planes_.emplace_back(reader.ReadFrameYUV444(nullptr, &got, f * fx.frameSize));
        }
        fx_.view->makeCurrent();
        ty_ = std::make_unique<GLTexture>(gl_);
        tu_ = std::make_unique<GLTexture>(gl_);
        tv_ = std::make_unique<GLTexture>(gl_);
        quad_ = std::make_unique<GLVAO>(gl_);
        const float positions[12] = {1, 1, 0, 1, -1, 0, -1, -1, 0, -1, 1, 0};
        const float texCoords[12] = {1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0};
        const uint32_t indices[6] = {0, 1, 3, 1, 2, 3};
        quad_->AddVertexBuffer(positions, sizeof(positions), 0, 3, 0);
        quad_->AddVertexBuffer(texCoords, sizeof(texCoords), 1, 3, 0);
        quad_->SetIndexBuffer(indices, sizeof(indices));
        call_ = std::make_unique<DrawCall>(gl_, kQuadVertexShader, kFrameFragmentShader, 100, 100, 1);
        call_->SetVAO(quad_.get());
        // The frame fitted to the view, as the view draws it at zoom 1.
        const float sy = (kViewW * (static_cast<float>(fx.h) / fx.w)) / kViewH;
        const float matrix[16] = {1, 0, 0, 0, 0, sy, 0, 0, 0, 0, -0.01f, 0, 0, 0, 0, 1};
        call_->SetUniformMatrix("yuvMatrix", matrix);
        call_->SetUniformInt("y", 0);
        call_->SetUniformInt("u", 1);
        call_->SetUniformInt("v", 2);
        call_->SetUniformInt("colorRange", 4);
        call_->SetUniformFloat("gamma", 1.0f);
        fx_.view->doneCurrent();
    }
    ~BareUploadDraw()
    {
        fx_.view->makeCurrent();
        call_.reset();
        quad_.reset();
        ty_.reset();
        tu_.reset();
        tv_.reset();
        fx_.view->doneCurrent();
    }

    void Run()
    {
        fx_.view->makeCurrent();
        gl_->glViewport(0, 0, kViewW, kViewH);
        const int64_t n = static_cast<int64_t>(fx_.w) * fx_.h;
        const uint8_t* p = planes_[static_cast<size_t>(frame_)].get();
        frame_ = (frame_ + 1) % kFrames;
        gl_->glClear(GL_COLOR_BUFFER_BIT);
        ty_->SetData(p, fx_.w, fx_.h, GL_RED, GL_RED);
        tu_->SetData(p + n, fx_.w, fx_.h, GL_RED, GL_RED);
        tv_->SetData(p + 2 * n, fx_.w, fx_.h, GL_RED, GL_RED);
        gl_->glActiveTexture(GL_TEXTURE0);
        gl_->glBindTexture(GL_TEXTURE_2D, ty_->Name());
        gl_->glActiveTexture(GL_TEXTURE1);
        gl_->glBindTexture(GL_TEXTURE_2D, tu_->Name());
        gl_->glActiveTexture(GL_TEXTURE2);
        gl_->glBindTexture(GL_TEXTURE_2D, tv_->Name());
        gl_->glActiveTexture(GL_TEXTURE0);
        call_->Draw();
        fx_.view->doneCurrent();
    }

private:
    Fixture& fx_;
    QOpenGLFunctions_3_3_Core* gl_;
    std::vector<std::unique_ptr<uint8_t[]>> planes_;
    std::unique_ptr<GLTexture> ty_, tu_, tv_;
    std::unique_ptr<GLVAO> quad_;
    std::unique_ptr<DrawCall> call_;
    int frame_ = 0;
};

void BM_BareUploadDraw(benchmark::State& state)
{
    Fixture& fx = GetFixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    BareUploadDraw bare(fx);
    for (auto _ : state)
        bare.Run();
}

// A paint that changes frame: read, convert, upload, draw everything, finish.
void BM_FrameChangePaint(benchmark::State& state)
{
    Fixture& fx = GetFixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    int f = 0;
    for (auto _ : state) {
        f = (f + 1) % kFrames;
        fx.view->SetFrameOffset(f * fx.frameSize);
        fx.view->Paint();
    }
}

// The same with the three thumbnails and a rectangle on.
void BM_FrameChangePaintDecorated(benchmark::State& state)
{
    Fixture& fx = GetFixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    fx.view->SetVisible(2, 2, 2);
    fx.view->SetRect(0.25f, -0.25f, 0.75f, -0.75f);
    int f = 0;
    for (auto _ : state) {
        f = (f + 1) % kFrames;
        fx.view->SetFrameOffset(f * fx.frameSize);
        fx.view->Paint();
    }
    fx.view->SetVisible(0, 0, 0);
    fx.view->SetRect(0, 0, 0, 0);
}

// A paint with nothing changed: the frame is already uploaded.
void BM_StillPaint(benchmark::State& state)
{
    Fixture& fx = GetFixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    fx.view->Paint();
    for (auto _ : state)
        fx.view->Paint();
}

// A paint after a drag step (pan) or a wheel step (zoom).
void BM_PanPaint(benchmark::State& state)
{
    Fixture& fx = GetFixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    fx.view->Paint();
    int step = 0;
    for (auto _ : state) {
        ++step;
        SendMove(fx.view.get(), 600 + (step & 1) * 4, 300 + (step & 1) * 2);
        fx.view->Paint();
    }
}

void BM_ZoomPaint(benchmark::State& state)
{
    Fixture& fx = GetFixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    fx.view->Paint();
    int step = 0;
    for (auto _ : state) {
        const int delta = (++step & 1) ? 120 : -120;
        QWheelEvent event(QPointF(10, 10), fx.view->mapToGlobal(QPoint(10, 10)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(fx.view.get(), &event);
        fx.view->Paint();
    }
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

template <typename F>
double TimeMs(F&& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The two pairs the view is held to, interleaved so that both sides see the
// same machine load; counters are medians in ms and their ratio.
void BM_CompareFrameChangeToBare(benchmark::State& state)
{
    Fixture& fx = GetFixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    BareUploadDraw bare(fx);
    std::vector<double> bareMs, paintMs;
    int f = 0;
    for (auto _ : state) {
        bareMs.push_back(TimeMs([&] { bare.Run(); }));
        f = (f + 1) % kFrames;
        paintMs.push_back(TimeMs([&] {
            fx.view->SetFrameOffset(f * fx.frameSize);
            fx.view->Paint();
        }));
    }
    state.counters["bare_ms"] = Median(bareMs);
    state.counters["paint_ms"] = Median(paintMs);
    state.counters["ratio"] = Median(paintMs) / Median(bareMs);
}

void BM_ComparePanToStill(benchmark::State& state)
{
    Fixture& fx = GetFixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    fx.view->Paint();
    std::vector<double> stillMs, panMs;
    int step = 0;
    for (auto _ : state) {
        stillMs.push_back(TimeMs([&] { fx.view->Paint(); }));
        ++step;
        panMs.push_back(TimeMs([&] {
            SendMove(fx.view.get(), 600 + (step & 1) * 4, 300 + (step & 1) * 2);
            fx.view->Paint();
        }));
    }
    state.counters["still_ms"] = Median(stillMs);
    state.counters["pan_ms"] = Median(panMs);
    state.counters["ratio"] = Median(panMs) / Median(stillMs);
}

#define SIZES Args({1920, 1080})->Args({3840, 2160})
BENCHMARK(BM_BareUploadDraw)->SIZES->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameChangePaint)->SIZES->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameChangePaintDecorated)->SIZES->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StillPaint)->SIZES->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PanPaint)->SIZES->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZoomPaint)->SIZES->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompareFrameChangeToBare)->SIZES->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(60);
BENCHMARK(BM_ComparePanToStill)->SIZES->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(60);

} // namespace

int main(int argc, char** argv)
{
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
