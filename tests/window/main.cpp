#include <QApplication>

#include <gtest/gtest.h>

#include "offscreen_notes.h"

#include "app/main_window.h"

int main(int argc, char* argv[])
{
    qInstallMessageHandler(quietPlatformNotes);
    // Discovery and plain runs need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(charlib::windowFont());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
