// How the studio's window answers while it works: it opens a project whose job
// reads CORPUS and draws a distance-field atlas of GB2312 (7445 glyphs) in the
// background, while a timer asks the window's event loop every 10 ms; it says
// how long the look took, and the longest the loop went without answering,
// beside the same when nothing is being worked on. Then the same with Cancel.
//
//   charlib-studio-bench CORPUS      (e.g. the file charlib-bench writes)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "messages/language.h"
#include "studio/dialogs.h"
#include "studio/studio_window.h"

namespace {

struct NoDialogs : charlib::studio::StudioDialogs {
    QString openProject(QWidget*, const QString&) override { return {}; }
    QString saveProjectAs(QWidget*, const QString&) override { return {}; }
    QStringList sourceFiles(QWidget*, const QString&) override { return {}; }
    QString sourceFolder(QWidget*, const QString&) override { return {}; }
    QString path(QWidget*, const QString&, const QString&, PathKind) override { return {}; }
    QString text(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    Unsaved askUnsaved(QWidget*, const QString&) override { return Unsaved::Discard; }
    void showError(QWidget*, const QString& text) override { std::printf("error: %s\n", qPrintable(text)); }
};

// The longest gap between the ticks of a 10 ms timer while `until` has not happened.
struct Stalls {
    QElapsedTimer clock, last;
    qint64 longest = 0;
    QTimer tick;
    Stalls()
    {
        tick.setInterval(10);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            longest = std::max(longest, last.restart());
        });
    }
    void start()
    {
        longest = 0;
        clock.start();
        last.start();
        tick.start();
    }
};

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: charlib-studio-bench CORPUS\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QFile project(dir.filePath(QStringLiteral("charlib.toml")));
    if (!project.open(QIODevice::WriteOnly)) return 1;
    project.write(QStringLiteral("[[font]]\nname = \"big\"\nsources = [\"%1\"]\nadd-set = \"gb2312\"\n"
                                 "font = \"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc\"\n"
                                 "atlas = \"out/big\"\nsdf = true\nsize = 48\n")
                      .arg(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath())
                      .toUtf8());
    project.close();

    charlib::studio::StudioWindow window(charlib::Language::English, std::make_unique<NoDialogs>());
    window.show();
    Stalls stalls;
    QEventLoop wait;
    QObject::connect(&window, &charlib::studio::StudioWindow::inspected, &wait, &QEventLoop::quit);

    stalls.start();
    QTimer::singleShot(1000, &wait, &QEventLoop::quit);
    wait.exec();
    std::printf("%-44s %8.3f s, longest pause %4lld ms\n", "idle", stalls.clock.elapsed() / 1e3, stalls.longest);

    stalls.start();
    if (!window.openProject(project.fileName())) return 1;
    wait.exec();
    std::printf("%-44s %8.3f s, longest pause %4lld ms\n", "open, read the corpus, draw 7445 SDF glyphs",
        stalls.clock.elapsed() / 1e3, stalls.longest);

    // A build of it, cancelled after a second: how soon the build stops.
    QEventLoop building;
    int status = -1;
    QObject::connect(&window, &charlib::studio::StudioWindow::built, &building, [&](int built) {
        status = built;
        building.quit();
    });
    stalls.start();
    window.findChild<QPushButton*>(QStringLiteral("Build"))->click();
    QElapsedTimer cancelled;
    QTimer::singleShot(1000, &window, [&] {
        cancelled.start();
        window.findChild<QPushButton*>(QStringLiteral("Cancel"))->click();
    });
    building.exec();
    std::printf("%-44s %8.3f s, longest pause %4lld ms; status %d\n", "build, cancelled after 1 s: stopped in",
        cancelled.elapsed() / 1e3, stalls.longest, status);
    return 0;
}
