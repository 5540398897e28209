// Times the window's Browse, Read and Generate on a corpus file, clicking the
// buttons as a user would (offscreen unless QT_QPA_PLATFORM says otherwise).
//
//   charlib-window-bench CORPUS      (e.g. the file charlib-bench writes)

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <cstdio>
#include <memory>

#include "app/common_dialog.h"
#include "app/main_window.h"
#include "app/message_boxes.h"

namespace {

struct FixedDialog : charlib::CommonDialog {
    explicit FixedDialog(QString path) { FileName = std::move(path); }
    bool ShowOpen(QWidget*) override { return true; }
};

struct PrintedMessages : charlib::MessageBoxes {
    void MsgBox(QWidget*, const QString& prompt, const QString& title) override
    {
        std::printf("message %s: %s\n", qPrintable(title), qPrintable(prompt));
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: charlib-window-bench CORPUS\n");
        return 2;
    }
    qputenv(
        "QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    charlib::Form1 form(
        std::make_unique<FixedDialog>(QString::fromLocal8Bit(argv[1])), std::make_unique<PrintedMessages>());
    form.show();
    const auto time = [&](const char* button, const char* what) {
        QElapsedTimer timer;
        timer.start();
        form.findChild<QPushButton*>(QLatin1String(button))->click();
        QApplication::processEvents();
        std::printf("%-28s %8.3f s\n", what, timer.nsecsElapsed() / 1e9);
    };
    time("Command2", "Browse (Control-Z check)");
    time("Command1", "Read (10000 lines)");
    time("Command5", "Generate (whole file)");
    time("Command7", "Sort");
}
