#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <iostream>

#include "app/main_window.h"
#include "text/codepage.h"
#include "window_support.h"

namespace {

// Renders the window after a Generate over a small sample, for the README.
int screenshot(const QString& target)
{
    using namespace charlib::testing;
    struct Shot : WindowTest {
        void TestBody() override { }
        bool take(const QString& target)
        {
            std::vector<std::string> lines;
            for (const char16_t* line :
                {u"#静夜思  李白", u"床前明月光，疑是地上霜。", u"举头望明月，低头思故乡。", u"#春晓  孟浩然",
                    u"春眠不觉晓，处处闻啼鸟。", u"夜来风雨声，花落知多少。", u"#登鹳雀楼  王之涣",
                    u"白日依山尽，黄河入海流。", u"欲穷千里目，更上一层楼。"})
                lines.push_back(charlib::encode(line));
            browse(writeFile(QStringLiteral("唐诗.txt"), crlfLines(lines)));
            click("Command1");
            retype("Text2", QStringLiteral("#"));
            retype("Text3", QStringLiteral("1"));
            click("Command5");
            get("Command7")->setFocus();
            form_->repaint();
            bool saved = form_->grab().save(target, "PNG");
            messages_->shown.clear();
            return saved;
        }
    } shot;
    if (!shot.take(target)) {
        std::cerr << "cannot write " << target.toStdString() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

// The offscreen platform cannot shape or raise windows and says so each time.
void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support"))) return;
    std::cerr << qFormatLogMessage(type, context, message).toStdString() << "\n";
}

int main(int argc, char* argv[])
{
    qInstallMessageHandler(quietPlatformNotes);
    // Discovery and plain runs need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(charlib::windowFont());
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--screenshot=", 13) == 0)
            return screenshot(QString::fromLocal8Bit(argv[i] + 13));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
