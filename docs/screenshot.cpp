// Renders the window after a Generate over a few lines of Tang poems, for
// the README:   charlib-screenshot docs/window.png
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include "app/common_dialog.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "codec/code_page_936.h"

namespace {

struct FixedDialog : charlib::CommonDialog {
    explicit FixedDialog(QString path) { FileName = std::move(path); }
    bool ShowOpen(QWidget*) override { return true; }
};

struct NoMessages : charlib::MessageBoxes {
    void MsgBox(QWidget*, const QString&, const QString&) override { }
};

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: charlib-screenshot PNG\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(charlib::windowFont());
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("唐诗.txt"));
    QFile file(source);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    for (const char16_t* line : {u"#静夜思  李白", u"床前明月光，疑是地上霜。", u"举头望明月，低头思故乡。",
             u"#春晓  孟浩然", u"春眠不觉晓，处处闻啼鸟。", u"夜来风雨声，花落知多少。", u"#登鹳雀楼  王之涣",
             u"白日依山尽，黄河入海流。", u"欲穷千里目，更上一层楼。"})
        file.write(QByteArray::fromStdString(charlib::encode(line) + "\r\n"));
    file.close();

    charlib::Form1 form(std::make_unique<FixedDialog>(source), std::make_unique<NoMessages>());
    form.show();
    const auto click = [&](const char* name) { form.findChild<QPushButton*>(QLatin1String(name))->click(); };
    click("Command2");
    click("Command1");
    form.findChild<QWidget*>(QStringLiteral("Text2"))->setProperty("text", QStringLiteral("#"));
    form.findChild<QWidget*>(QStringLiteral("Text3"))->setProperty("text", QStringLiteral("1"));
    click("Command5");
    form.findChild<QWidget*>(QStringLiteral("Command7"))->setFocus();
    form.repaint();
    if (form.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) return 0;
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
}
