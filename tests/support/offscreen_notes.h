#pragma once

#include <QtGlobal>
#include <QString>

#include <iostream>

// The offscreen platform cannot shape or raise windows and says so each time:
// those notes are left out of a window test's output, the others kept.
inline void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support"))) return;
    std::cerr << qFormatLogMessage(type, context, message).toStdString() << "\n";
}
