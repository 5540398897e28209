#pragma once

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/charset_box.h"
#include "app/common_dialog.h"
#include "app/main_window.h"
#include "app/message_boxes.h"

namespace charlib::testing {

// Answers the open-file dialog from a script: a file name, or nullopt to cancel.
struct ScriptedDialog : CommonDialog {
    std::deque<std::optional<QString>> answers;
    bool ShowOpen(QWidget*) override
    {
        EXPECT_EQ(Filter, QStringLiteral("Text (*.txt)|*.txt|All file (*.*)|*.*"));
        if (answers.empty()) {
            ADD_FAILURE() << "no answer scripted";
            return false;
        }
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        if (!answer) return false;
        FileName = *answer;
        return true;
    }
};

struct Message {
    QString title, prompt;
    friend bool operator==(const Message&, const Message&) = default;
    friend void PrintTo(const Message& m, std::ostream* out)
    {
        *out << m.title.toStdString() << ": " << m.prompt.toStdString();
    }
};
using Messages = std::vector<Message>;
inline Message error(const QString& prompt)
{
    return {QStringLiteral("错勒"), prompt};
}

struct RecordingMessages : MessageBoxes {
    Messages shown;
    int underBusyCursor = 0;
    void MsgBox(QWidget*, const QString& prompt, const QString& title) override
    {
        underBusyCursor += QApplication::overrideCursor() != nullptr;
        shown.push_back({title, prompt});
    }
};

// Code page 936 bytes of characters the tests use.
inline const std::string zhong = "\xD6\xD0", wen = "\xCE\xC4", zi = "\xD7\xD6";  // 中文字

inline std::string crlfLines(const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const std::string& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// The window with a scripted dialog and recorded messages, working in a
// temporary folder whose name holds Chinese characters and a space.
class WindowTest : public ::testing::Test {
protected:
    WindowTest()
    {
        QDir().mkpath(folder());
        auto dialog = std::make_unique<ScriptedDialog>();
        auto messages = std::make_unique<RecordingMessages>();
        dialog_ = dialog.get();
        messages_ = messages.get();
        form_ = std::make_unique<Form1>(std::move(dialog), std::move(messages));
        form_->show();
        // Balloons, like Qt's own tooltips, come up only in the active window.
        form_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    }
    ~WindowTest() override
    {
        EXPECT_EQ(messages_->underBusyCursor, 0) << "a message came up under the busy cursor";
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor was left on";
        EXPECT_EQ(messages_->shown, Messages()) << "messages the test did not check";
        EXPECT_TRUE(dialog_->answers.empty()) << "the dialog was shown less than scripted";
    }

    QString folder() const { return dir_.path() + QStringLiteral("/字库 测试"); }
    QString file(const QString& name) const { return folder() + QLatin1Char('/') + name; }
    QString writeFile(const QString& name, const std::string& bytes) const
    {
        QFile out(file(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return file(name);
    }
    static std::string readFile(const QString& path)
    {
        QFile in(path);
        return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : "<missing>";
    }

    template <class Control = QWidget> Control* get(const char* name) const
    {
        auto* found = form_->findChild<Control*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString text(const char* name) const { return get(name)->property("text").toString(); }
    QString text4() const { return get<CharsetBox>("Text4")->text(); }
    QStringList items(const char* name = "List1") const
    {
        QStringList result;
        for (int i = 0; i < get<QListWidget>(name)->count(); ++i)
            result << get<QListWidget>(name)->item(i)->text();
        return result;
    }
    // "Read:on Filter:off Generate:off Sort:off Write:off"
    std::string buttons() const
    {
        std::string states;
        for (auto [name, role] : {std::pair{"Command1", "Read"}, {"Command3", " Filter"},
                 {"Command5", " Generate"}, {"Command7", " Sort"}, {"Command8", " Write"}})
            states += std::string(role) + (get(name)->isEnabled() ? ":on" : ":off");
        return states;
    }
    Messages takeMessages() { return std::exchange(messages_->shown, {}); }

    void click(const char* name) const { QTest::mouseClick(get(name), Qt::LeftButton); }
    void browse(std::optional<QString> path) const
    {
        dialog_->answers.push_back(std::move(path));
        click("Command2");
    }
    void type(const char* name, const QString& typed) const
    {
        for (QChar ch : typed) {
            if (ch.unicode() < 0x80)
                QTest::keyClick(get(name), ch.toLatin1());
            else  // as an input method delivers it: text without a key code
                QTest::sendKeyEvent(QTest::Click, get(name), Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }
    void retype(const char* name, const QString& typed) const
    {
        get<QLineEdit>(name)->selectAll();
        QTest::keyClick(get(name), Qt::Key_Delete);
        type(name, typed);
    }
    // Browse and Read of source.txt holding `lines`, then marker and offset typed.
    void readLines(
        const std::vector<std::string>& lines, const QString& marker = {}, const QString& offset = {})
    {
        browse(writeFile(QStringLiteral("source.txt"), crlfLines(lines)));
        click("Command1");
        retype("Text2", marker);
        retype("Text3", offset);
    }

    QTemporaryDir dir_;
    ScriptedDialog* dialog_ = nullptr;
    RecordingMessages* messages_ = nullptr;
    std::unique_ptr<Form1> form_;
};

}  // namespace charlib::testing
