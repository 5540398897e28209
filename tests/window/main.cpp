#include <QApplication>

#include <gtest/gtest.h>

#include <iostream>

#include "app/main_window.h"

// The offscreen platform cannot shape or raise windows and says so each time.
void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support"))) return;
    std::cerr << qFormatLogMessage(type, context, message).toStdString() << "\n";
}

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
