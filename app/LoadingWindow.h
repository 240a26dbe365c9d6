#pragma once

#include <QMainWindow>

#include "app/CommandLine.h"

class QLabel;
class QTimer;

// Frameless splash shown for two seconds at start-up; then it opens the main
// window and closes itself.
class LoadingWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kSplashMs = 2000;

    explicit LoadingWindow(QWidget* parent = nullptr);

    // What the command line asked to open; opened once the main window
    // exists.
    void SetStartupRequest(const StartupRequest& request) { startup_ = request; }

    // The main window it handed over to, once the timer has fired.
    QWidget* mainWindow() const { return mainWindow_; }

public slots:
    void timeoutSig();

private:
    QLabel* logo_img = nullptr;
    QLabel* title_label = nullptr;
    QLabel* sub_title_label = nullptr;
    QTimer* timer_ = nullptr;
    QWidget* mainWindow_ = nullptr;
    StartupRequest startup_;
};
