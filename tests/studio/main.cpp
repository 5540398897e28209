#include <QApplication>

#include <gtest/gtest.h>

#include <iostream>

// The offscreen platform cannot shape or raise windows and says so each time.
void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support"))) return;
    std::cerr << qFormatLogMessage(type, context, message).toStdString() << "\n";
}

int main(int argc, char* argv[])
{
    qInstallMessageHandler(quietPlatformNotes);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
