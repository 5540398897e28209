#include "app/qt_translation.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace charlib {

bool install_qt_translation(QApplication& application, Language language)
{
    if (language != Language::Chinese) return false;
    // Owned by the application, so that it lasts as long as the texts it gives.
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

}  // namespace charlib
