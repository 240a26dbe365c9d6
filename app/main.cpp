#include <QApplication>
#include <QDebug>
#include <QStyle>
#include <QStyleFactory>

#include "LoadingWindow.h"
#include "SurfaceFormat.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char* argv[])
{
#ifdef __GLIBC__
    // Buffers of 8 MiB and more (frames of 3840 x 2160 and up) get mappings of
    // their own, so a closed analysis window gives their memory back. A fixed
    // threshold also keeps glibc from raising it after the first such free.
    mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
#endif
    QApplication app(argc, argv);

    // Every GL view of the program gets a 3.3 core context.
    lumo::InstallDefaultSurfaceFormat();

    qDebug() << QStyleFactory::keys();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    LoadingWindow splash(nullptr);
    splash.show();
    return app.exec();
}
