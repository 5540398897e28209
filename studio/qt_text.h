#pragma once

#include <QString>

#include <string>
#include <string_view>

// The core's texts are UTF-8; Qt's are QString.
namespace charlib::studio {

inline QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString qs(std::u32string_view characters)
{
    return QString::fromUcs4(characters.data(), static_cast<qsizetype>(characters.size()));
}

inline std::string utf8(const QString& text)
{
    return text.toStdString();
}

}  // namespace charlib::studio
