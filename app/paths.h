#pragma once

#include <QString>

#include <filesystem>

namespace charlib {

// A file name as the file system spells it, so that Chinese names and
// spaces survive the trip from Qt to the core.
std::filesystem::path toPath(const QString& name);

}  // namespace charlib
