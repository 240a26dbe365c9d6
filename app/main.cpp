#include <QApplication>
#include <QDebug>
#include <QIcon>
#include <QStyle>
#include <QStyleFactory>

#include <cstdio>
#include <string>
#include <vector>

#include "base/DebugLog.h"
#include "app/CommandLine.h"
#include "app/LoadingWindow.h"
#include "base/SurfaceFormat.h"
#include "i18n/Translation.h"
#include "media/EncodedSource.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char* argv[])
{
#ifdef __GLIBC__
    // Buffers of 8 MiB and more (frames of 3840 x 2160 and up) get mappings of
    // their own, so a closed analysis window gives their memory back; glibc
    // would otherwise raise this threshold after the first such free and keep
    // later ones in the heap. A fixed threshold also stops the trim threshold
    // from growing: it is set here so the heap keeps a freed top for the next
    // frame's buffers instead of returning it and faulting it in again.
    mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    // Each analysis window's whole-sequence comparison starts short-lived
    // worker threads; with an arena per new thread the heap fragments and
    // grows with every window opened. Two arenas match the two cores the
    // work is sized for.
    mallopt(M_ARENA_MAX, 2);
#endif
    // Encoded video is read in place wherever a raw file is (decoded
    // through media/); installed before any thread starts.
    lumo::InstallEncodedFrameSources();
    // The command line is read before anything needs a display: --help,
    // --version and bad arguments end here.
    const CommandLine commandLine = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (commandLine.exitCode >= 0) {
        std::fputs(commandLine.text.c_str(), commandLine.toStderr ? stderr : stdout);
        return commandLine.exitCode;
    }
    // Qt gets the program name only: every argument is ours, so a file named
    // like a Qt option (-reverse, -style) stays a file.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    // Ties the windows to the installed desktop entry (its name and icon in
    // task bars, on Wayland too); the icon is for X11 window managers.
    QGuiApplication::setDesktopFileName(QStringLiteral("yuvlumo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/img/logo/yuv_logo.png")));
    // English unless the user's language is Chinese (or the C locale).
    lumo::InstallTranslation(app);

    // Every GL view of the program gets a 3.3 core context.
    lumo::InstallDefaultSurfaceFormat();

    qCDebug(lumoDebug) << QStyleFactory::keys();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    LoadingWindow splash(nullptr);
    splash.SetStartupRequest(commandLine.request);
    splash.show();
    return app.exec();
}
