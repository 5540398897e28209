#pragma once

#include <QString>

#include <filesystem>

namespace charlib {

// File names as the file system spells them, so that Chinese names and
// spaces survive the trip between Qt and the core.
std::filesystem::path toPath(const QString& name);
QString fromPath(const std::filesystem::path& path);

}  // namespace charlib
