// Writes the programs' icons at the sizes of the hicolor icon theme: the window's own
// picture for charlib, and the studio's tile for charlib-studio.
//   charlib-icons FOLDER   (FOLDER/NxN/apps/charlib.png and charlib-studio.png)
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

#include "app/picture_box.h"
#include "studio/studio_icon.h"

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: charlib-icons FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(folder) ||
            !charlib::yaoLingziPicture(size).save(folder + QStringLiteral("/charlib.png")) ||
            !charlib::studio::studioIconPicture(size).save(folder + QStringLiteral("/charlib-studio.png"))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
