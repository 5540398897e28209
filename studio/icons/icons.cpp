// Writes the studio's icon at the sizes of the hicolor icon theme:
//   charlib-studio-icons FOLDER   (FOLDER/NxN/apps/charlib-studio.png)
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "studio/studio_icon.h"

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: charlib-studio-icons FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(folder) ||
            !charlib::studio::studioIconPicture(size).save(folder + QStringLiteral("/charlib-studio.png"))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
