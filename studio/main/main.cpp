#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/qt_translation.h"
#include "messages/catalog.h"
#include "messages/language.h"
#include "studio/dialogs.h"
#include "studio/studio_icon.h"
#include "studio/studio_window.h"

int main(int argc, char* argv[])
{
    const charlib::Language language = charlib::user_language();
    // Answered before the window starts, so that no display is needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(charlib::tr(language,
                           "Usage: charlib-studio [PROJECT.toml | FOLDER | FILE...]\n"
                           "Charlib Studio: the characters of a project's sources, what its font lacks and where each "
                           "is used, and the fonts made from them, over the project file that charlib-cli build "
                           "builds.\n"
                           "  PROJECT.toml  open the project\n"
                           "  FOLDER        open its charlib.toml, or read the folder as a new project's sources\n"
                           "  FILE...       read the files as a new project's sources\n")
                           .c_str(),
                stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("charlib-studio " CHARLIB_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("charlib-studio"));
    QApplication::setWindowIcon(charlib::studio::studioIcon());
    // The desktop entry's name, by which a Wayland compositor finds the window's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("charlib-studio"));
    charlib::install_qt_translation(app, language);
    charlib::studio::StudioWindow window(language, std::make_unique<charlib::studio::QtStudioDialogs>(language));
    window.show();
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    QTimer::singleShot(0, &window, [&window, arguments] { window.openArguments(arguments); });
    return app.exec();
}
