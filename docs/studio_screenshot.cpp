// Renders Charlib Studio over a small game's Chinese strings, one picture a
// panel, for the README:   charlib-studio-screenshot docs
// (docs/studio.png, studio-selection.png, studio-font.png, studio-atlas.png, studio-web.png).
// The language follows the environment, as the program's does.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QListView>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

#include "messages/language.h"
#include "studio/dialogs.h"
#include "studio/studio_window.h"

namespace {

// The strings of a small game: a PO catalog and a JSON table, with words IPAexGothic (a Japanese
// font) lacks, as a translator meets them.
constexpr const char* catalog = R"(msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\n"

#: ui/menu.c:12
msgid "New game"
msgstr "新游戏"

#: ui/menu.c:13
msgid "Continue"
msgstr "继续"

#: ui/menu.c:14
msgid "Settings"
msgstr "设置"

#: ui/menu.c:20
msgid "You have %d coins"
msgstr "你有 %d 枚金币"
)";

constexpr const char* dialogue = R"({
  "village.elder.1": "欢迎来到青石村，年轻的旅人。",
  "village.elder.2": "北边的森林里最近出现了奇怪的光。",
  "village.smith": "想要锻造新的剑吗？先带来三块铁矿石。",
  "village.child": "听说湖底藏着龙的宝藏！",
  "quest.done": "任务完成：获得经验值 {xp} 点。"
}
)";

constexpr const char* project = R"([defaults]
font = "/usr/share/fonts/opentype/ipaexfont-gothic/ipaexg.ttf"

[[font]]
name = "dialogue"
sources = ["lang/zh"]
recursive = true
add-set = "ascii"
atlas = "out/dialogue"
engine = "godot"
size = 24
output = "out/chars.txt"

[[font]]
name = "site"
sources = ["lang/zh"]
recursive = true
web = "out/web"
family = "Game Sans"
)";

bool write(const QString& path, const char* text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == qint64(std::strlen(text));
}

// Waits until the window shows what it found of the current job.
void waitInspected(charlib::studio::StudioWindow& window)
{
    QEventLoop loop;
    QObject::connect(&window, &charlib::studio::StudioWindow::inspected, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: charlib-studio-screenshot FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QTemporaryDir dir;
    const QString game = dir.filePath(QStringLiteral("game"));
    if (!write(game + QStringLiteral("/lang/zh/ui.po"), catalog) ||
        !write(game + QStringLiteral("/lang/zh/dialogue.json"), dialogue) ||
        !write(game + QStringLiteral("/charlib.toml"), project)) {
        std::fprintf(stderr, "cannot write the sample project in %s\n", qPrintable(dir.path()));
        return 1;
    }
    charlib::studio::StudioWindow window(
        charlib::user_language(), std::make_unique<charlib::studio::QtStudioDialogs>(charlib::user_language()));
    window.resize(1280, 720);
    window.show();
    if (!window.openProject(game + QStringLiteral("/charlib.toml"))) return 1;
    waitInspected(window);

    // The first character the font lacks, with its places.
    auto* grid = window.findChild<QListView*>(QStringLiteral("Characters"));
    for (int row = 0; grid && row < grid->model()->rowCount(); ++row) {
        const QModelIndex index = grid->model()->index(row, 0);
        if (index.data(Qt::AccessibleDescriptionRole).toString().contains(QStringLiteral("IPAex"))) {
            grid->setCurrentIndex(index);
            break;
        }
    }
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("JobTabs"));
    const struct {
        int tab;
        const char* file;
    } shots[] = {{0, "studio.png"}, {1, "studio-selection.png"}, {2, "studio-font.png"}, {5, "studio-atlas.png"}};
    for (const auto& shot : shots) {
        tabs->setCurrentIndex(shot.tab);
        QApplication::processEvents();
        if (!window.grab().save(out + QLatin1Char('/') + QLatin1String(shot.file))) {
            std::fprintf(stderr, "cannot write %s in %s\n", shot.file, qPrintable(out));
            return 1;
        }
    }
    // The web job: its pieces.
    window.findChild<QListWidget*>(QStringLiteral("Jobs"))->setCurrentRow(1);
    waitInspected(window);
    tabs->setCurrentIndex(6);
    QApplication::processEvents();
    if (!window.grab().save(out + QStringLiteral("/studio-web.png"))) return 1;
    window.setWindowModified(false);
    return 0;
}
