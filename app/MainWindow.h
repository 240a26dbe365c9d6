#pragma once

#include <QMainWindow>

// The list of opened files. For now only the frame of the window.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
};
