#include <QApplication>

#include <gtest/gtest.h>

#include "offscreen_notes.h"

int main(int argc, char* argv[])
{
    qInstallMessageHandler(quietPlatformNotes);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
