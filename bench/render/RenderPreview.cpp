// Shows one frame of a raw file the way the analysis window places it: the
// YUV widget with its rulers, plane thumbnails and a rectangle, and the
// colour chart below. For looking at the rendering by hand:
//   render_preview FILE WIDTH HEIGHT LAYOUT [FRAME [OUT.png]]
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVBoxLayout>

#include "render/ColorChart.h"
#include "yuv/LumoYuvReader.h"
#include "render/YUVWidget.h"

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s FILE WIDTH HEIGHT LAYOUT [FRAME [OUT.png]]\n", argv[0]);
        return 2;
    }
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));

    const lumo::LumoYuvReader reader(argv[1], std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
    const int frame = argc > 5 ? std::atoi(argv[5]) : 0;

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* yuv = new YUVWidget(reader, &window);
    auto* chart = new ColorChart(&window);
    layout->addWidget(yuv, 1);
    layout->addWidget(chart);

    int64_t got = 0;
    std::unique_ptr<uint8_t[]> planes(reader.ReadFrameYUV444(nullptr, &got, frame * reader.GetFrameSize()));
    if (planes) {
        const int n = reader.Width() * reader.Height();
        chart->UpdateHistogram(reader.Width(), reader.Height(), planes.get(), n, planes.get() + n, n,
                               planes.get() + 2 * n, n);
    }
    yuv->SetColorRange(4);
    yuv->SetVisible(2, 2, 2);
    yuv->SetRect(0.55f, -0.3f, 0.85f, -0.75f);
    window.resize(1100, 760);
    window.show();
    // After the view's GL start, which resets the offset.
    QTimer::singleShot(500, yuv, [yuv, frame] { yuv->SetFrameIndex(frame); });

    if (argc > 6) {
        const QString out = QString::fromLocal8Bit(argv[6]);
        QTimer::singleShot(1500, &window, [&window, out] {
            window.grab().save(out);
            QApplication::quit();
        });
    }
    return app.exec();
}
