#include <QApplication>
#include <QDebug>
#include <QStyle>
#include <QStyleFactory>
#include <QSurfaceFormat>

#include "LoadingWindow.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    // Every GL view of the program gets a 3.3 core context.
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QSurfaceFormat::setDefaultFormat(format);

    qDebug() << QStyleFactory::keys();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    LoadingWindow splash(nullptr);
    splash.show();
    return app.exec();
}
