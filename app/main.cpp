#include <QApplication>
#include <QDebug>
#include <QStyle>
#include <QStyleFactory>

#include "LoadingWindow.h"
#include "SurfaceFormat.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    // Every GL view of the program gets a 3.3 core context.
    lumo::InstallDefaultSurfaceFormat();

    qDebug() << QStyleFactory::keys();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    LoadingWindow splash(nullptr);
    splash.show();
    return app.exec();
}
