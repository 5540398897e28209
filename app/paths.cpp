#include "paths.h"

#include <QFile>

namespace charlib {

std::filesystem::path toPath(const QString& name)
{
#ifdef _WIN32
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

}  // namespace charlib
