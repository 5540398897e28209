#pragma once

#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>

#include "app/charset_box.h"
#include "app/common_dialog.h"
#include "app/main_window.h"
#include "app/message_boxes.h"

namespace charlib::testing {

using namespace Qt::StringLiterals;

struct Message {
    QString title, prompt;
    friend bool operator==(const Message&, const Message&) = default;
    friend void PrintTo(const Message& m, std::ostream* out)
    {
        *out << qPrintable(m.title + u": "_s + m.prompt);
    }
};
inline Message error(const QString& prompt)
{
    return {u"错勒"_s, prompt};
}

// What the user sees after a step. A field left out is not checked, but the
// messages always are: a step shows exactly these.
struct Seen {
    std::optional<std::string> buttons = {};  // Read Filter Generate Sort Write: "RFG--" = the first three on
    std::optional<QStringList> list = {};  // the rows of List1
    std::optional<QString> set = {}, label1 = {}, label7 = {};  // set: the exact text of Text4
    std::vector<Message> messages = {};
};

// Nothing read or generated yet: an empty list and set, labels without counts.
inline Seen blank(std::string buttons)
{
    return {std::move(buttons), QStringList(), u""_s, u"打开文件浏览："_s, u"生成文件预览："_s};
}

inline const std::string zhong = "\xD6\xD0", wen = "\xCE\xC4", zi = "\xD7\xD6";  // 中文字 in code page 936

// The caller's place, for the failure message (std::source_location
// is not in every compiler the project builds with).
struct Where {
    const char* file = __builtin_FILE();
    int line = __builtin_LINE();
};

// The window driven like a user: the open-file dialog answers from a script,
// message boxes are recorded, and files live in a folder whose name holds
// Chinese characters and a space. Each step checks what the user then sees.
class WindowTest : public ::testing::Test {
protected:
    WindowTest()
    {
        QDir().mkpath(folder());
        form_.show();
        form_.activateWindow();  // balloons, like Qt's own tooltips, come up only in the active window
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form_));
    }

    QString folder() const { return dir_.path() + u"/字库 测试"_s; }
    QString file(const QString& name) const { return folder() + u'/' + name; }
    QString write(const QString& name, const std::string& bytes) const
    {
        QFile out(file(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes.data(), qint64(bytes.size())) >= 0);
        return file(name);
    }
    std::string read(const QString& name) const
    {
        QFile in(file(name));
        return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : "<missing>";
    }
    template <class Control = QWidget> Control* get(const char* name)
    {
        return form_.findChild<Control*>(QLatin1String(name));
    }
    QString text(const char* name) { return get(name)->property("text").toString(); }

    // The steps.
    void click(const char* name, const Seen& seen = {}, Where where = {})
    {
        QTest::mouseClick(get(name), Qt::LeftButton);
        check(seen, where);
    }
    // The dialog returns `path`, or is cancelled for nullopt.
    void browse(std::optional<QString> path, const Seen& seen = {}, Where where = {})
    {
        dialog_->answers.push_back(std::move(path));
        click("Command2", seen, where);
    }
    void key(const char* name, QKeyCombination key, const Seen& seen = {}, Where where = {})
    {
        QTest::keyClick(get(name), key.key(), key.keyboardModifiers());
        check(seen, where);
    }
    // Replaces what the box holds by typing; beyond ASCII as an input method
    // delivers it, as text without a key code.
    void type(const char* name, const QString& typed)
    {
        if (auto* line = get<QLineEdit>(name)) line->clear();
        for (QChar ch : typed)
            QTest::sendKeyEvent(QTest::Click, get(name),
                ch.unicode() < 0x80 ? Qt::Key(ch.toUpper().unicode()) : Qt::Key_unknown, QString(ch),
                Qt::NoModifier);
    }
    // Browse and Read of source.txt holding `lines` ended by CR LF, then the marker and offset typed.
    void open(const std::vector<std::string>& lines, const QString& marker = {}, const QString& offset = {})
    {
        std::string bytes;
        for (const std::string& line : lines)
            bytes += line + "\r\n";
        browse(write(u"source.txt"_s, bytes));
        click("Command1", {.messages = {}});
        type("Text2", marker);
        type("Text3", offset);
    }

    // What the user sees.
    std::string buttons()
    {
        std::string states;
        for (auto [name, letter] : {std::pair{"Command1", 'R'}, {"Command3", 'F'}, {"Command5", 'G'},
                 {"Command7", 'S'}, {"Command8", 'W'}})
            states += get(name)->isEnabled() ? letter : '-';
        return states;
    }
    QStringList rows()
    {
        QStringList result;
        for (int i = 0; i < get<QListWidget>("List1")->count(); ++i)
            result << get<QListWidget>("List1")->item(i)->text();
        return result;
    }
    QString set() { return get<CharsetBox>("Text4")->text(); }

    void check(const Seen& seen, Where where = {})
    {
        ::testing::ScopedTrace trace(where.file, where.line, "this step");
        EXPECT_EQ(std::exchange(messages_->shown, {}), seen.messages);
        // A field left out is compared with itself.
        EXPECT_EQ(buttons(), seen.buttons.value_or(buttons()));
        EXPECT_EQ(rows(), seen.list.value_or(rows()));
        EXPECT_EQ(set(), seen.set.value_or(set()));
        EXPECT_EQ(text("Label1"), seen.label1.value_or(text("Label1")));
        EXPECT_EQ(text("Label7"), seen.label7.value_or(text("Label7")));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor was left on";
        EXPECT_EQ(std::exchange(messages_->underBusyCursor, 0), 0)
            << "a message came up under the busy cursor";
        EXPECT_TRUE(dialog_->answers.empty()) << "the dialog was not shown";
    }

    struct ScriptedDialog : CommonDialog {
        std::deque<std::optional<QString>> answers;
        bool ShowOpen(QWidget*) override
        {
            EXPECT_EQ(Filter, u"Text (*.txt)|*.txt|All file (*.*)|*.*"_s);
            std::optional<QString> answer = answers.empty() ? std::nullopt : answers.front();
            if (!answers.empty()) answers.pop_front();
            FileName = answer.value_or(FileName);
            return answer.has_value();
        }
    };
    struct RecordingMessages : MessageBoxes {
        std::vector<Message> shown;
        int underBusyCursor = 0;
        void MsgBox(QWidget*, const QString& prompt, const QString& title) override
        {
            underBusyCursor += QApplication::overrideCursor() != nullptr;
            shown.push_back({title, prompt});
        }
    };

    QTemporaryDir dir_;
    ScriptedDialog* dialog_ = new ScriptedDialog;
    RecordingMessages* messages_ = new RecordingMessages;
    Form1 form_{std::unique_ptr<CommonDialog>(dialog_), std::unique_ptr<MessageBoxes>(messages_)};
};

}  // namespace charlib::testing
