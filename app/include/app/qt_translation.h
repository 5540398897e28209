#pragma once

#include "messages/language.h"

class QApplication;

namespace charlib {

// Qt's own texts (the file dialog's "Look in", the buttons' OK and Cancel) in
// the user's language: for Chinese, Qt's catalog qtbase_zh_CN.qm from Qt's
// translations folder, installed on `application`. English is Qt's own.
// True when a catalog was loaded and installed.
bool install_qt_translation(QApplication& application, Language language);

}  // namespace charlib
