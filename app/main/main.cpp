#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/common_dialog.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/qt_translation.h"
#include "messages/language.h"

namespace {

constexpr const char* help_text =
    "用法: charlib [FILE]\n"
    "字库提取（Charlib）：打开窗口，从文本文件所选各行中提取不重复的字符，写入 END.txt（代码页936）。\n"
    "Charlib: a window that builds the character library of a text file: the distinct characters of\n"
    "the chosen lines, written to END.txt in code page 936.\n"
    "\n"
    "  FILE           打开时就选好这个文件，如同在“浏览”中选中它（Open FILE as if chosen in Browse）\n"
    "  -h, --help     显示本帮助（show this help）\n"
    "      --version  显示版本（show the version）\n"
    "\n"
    "命令行版本见 charlib-cli(1)。The command line version is charlib-cli(1).\n";

}  // namespace

int main(int argc, char* argv[])
{
    // Answered before the window starts, so that no display is needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(help_text, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("charlib " CHARLIB_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    // The window's own texts are Chinese whatever the language; Qt's dialogs follow the user's.
    charlib::install_qt_translation(app, charlib::user_language());
    QApplication::setFont(charlib::windowFont());
    charlib::Form1 form(
        std::make_unique<charlib::QtCommonDialog>(), std::make_unique<charlib::QtMessageBoxes>());
    form.show();
    // The file a file manager passes ("Open with"), once the window is up.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString file = arguments.at(1);
        QTimer::singleShot(0, &form, [&form, file] { form.openSource(file); });
    }
    return app.exec();
}
