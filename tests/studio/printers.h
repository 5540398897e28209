#pragma once
// Qt's strings in GoogleTest's messages as text, not as arrays of 2-byte objects.

#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
