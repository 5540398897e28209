#include <QApplication>

#include "app/qt_translation.h"
#include "messages/language.h"
#include "studio/studio_window.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    charlib::install_qt_translation(app, charlib::user_language());
    charlib::studio::StudioWindow window;
    window.show();
    return app.exec();
}
