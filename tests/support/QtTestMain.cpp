// Test main for widget tests: a QApplication must exist before any widget.
#include <QApplication>

#include <gtest/gtest.h>

#include "base/SurfaceFormat.h"

int main(int argc, char** argv)
{
    lumo::InstallDefaultSurfaceFormat();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
