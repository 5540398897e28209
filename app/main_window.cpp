#include "app/main_window.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QTextOption>

#include <cmath>
#include <string>
#include <vector>

#include "actions/actions.h"
#include "actions/numbers.h"
#include "app/charset_box.h"
#include "app/common_dialog.h"
#include "app/message_boxes.h"
#include "paths.h"
#include "app/picture_box.h"
#include "messages/words.h"
#include "tooltip/class1.h"

namespace charlib {

namespace {

const QString errorTitle = QStringLiteral("错勒");
const QString previewCaption = QStringLiteral("打开文件浏览：");
const QString charsetCaption = QStringLiteral("生成文件预览：");

const QString controlZHelp[] = {
    QStringLiteral(
        "Ctrl+Z 字符，早期的DOS系统中用来表示文件结束，在VB6中（其它版本未知），也用来表示文本文件的结束，"),
    QStringLiteral(
        "在VB文件打开方式为input，output的模式下，如果打开的文件中包含Ctrl+Z即（&H1A）字符，就会出现读取到"),
    QStringLiteral(
        "Ctrl+Z字符程序就认为文件结束的情况，无法正确的读取到整个文件，解决的办法，使用BINARY二进制模式来打"),
    QStringLiteral(
        "开包含有此字符的文件，在行操作的时候，手动判断换行符及回车符，还要正确的区分双字节的汉字与单字节的"),
    QStringLiteral("英文字母，是一个很麻烦的事情。另外一个解决的办法是手动删除文件中的&H1A字符。"),
    QStringLiteral(
        "对于余文本文件来说，普通的文本编辑软件根本没有办法文本打出&H1A字符，所以出现这错误的情况并不常见。"),
};

// The window's layout is in twips; 15 twips make a pixel at 96 dpi.
QRect twips(int left, int top, int width, int height)
{
    auto px = [](int t) { return static_cast<int>(std::lround(t / 15.0)); };
    return {px(left), px(top), px(width), px(height)};
}

QString number(std::int64_t value)
{
    return QString::fromStdU16String(number_text(value));
}

QStringList toStrings(const std::vector<std::u16string>& lines)
{
    QStringList strings;
    strings.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::u16string& line : lines)
        strings << QString::fromStdU16String(line);
    return strings;
}

// A line longer than this shows shortened in a list: laying out millions of
// characters in one row would freeze the window.
constexpr qsizetype shownLength = 2000;
// Items that are not lines of the file, such as the over-limit notice.
constexpr int noticeRole = Qt::UserRole + 1;

// A list row shows a lone LF as a mark, so that the whole line stays on one
// row, and a long line shortened; the item keeps the exact line for Filter.
QString shown(const QString& line)
{
    QString row = line.left(shownLength);
    row.replace(QLatin1Char('\n'), QChar(0x240A));
    return line.size() > shownLength ? row + QStringLiteral("…") : row;
}

void fill(QListWidget& list, const QStringList& lines, const QString& notice = {})
{
    QStringList rows;
    rows.reserve(lines.size() + 1);
    for (const QString& line : lines)
        rows << shown(line);
    list.clear();
    list.addItems(rows);
    for (int i = 0; i < lines.size(); ++i)
        if (rows[i] != lines[i]) list.item(i)->setData(Qt::UserRole, lines[i]);
    if (notice.isEmpty()) return;
    auto* item = new QListWidgetItem(notice, &list);
    item->setData(noticeRole, true);
}

// The exact lines of a list, without any notice.
std::vector<std::u16string> lines(const QListWidget& list)
{
    std::vector<std::u16string> lines;
    lines.reserve(static_cast<std::size_t>(list.count()));
    for (int i = 0; i < list.count(); ++i) {
        const QListWidgetItem& item = *list.item(i);
        if (item.data(noticeRole).toBool()) continue;
        const QVariant exact = item.data(Qt::UserRole);
        lines.push_back((exact.isValid() ? exact.toString() : item.text()).toStdU16String());
    }
    return lines;
}

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

template <class Control> Control* place(QWidget* form, const char* name, QRect geometry)
{
    auto* control = new Control(form);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

QLabel* label(QWidget* form, const char* name, QRect geometry, const QString& text)
{
    auto* control = place<QLabel>(form, name, geometry);
    control->setText(text);
    return control;
}

QPushButton* button(QWidget* form, const char* name, QRect geometry, const QString& text)
{
    auto* control = place<QPushButton>(form, name, geometry);
    control->setText(text);
    return control;
}

}  // namespace

QFont windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun")});
    font.setPixelSize(12);
    return font;
}

Form1::Form1(std::unique_ptr<CommonDialog> dialog, std::unique_ptr<MessageBoxes> messages, QWidget* parent) :
    QWidget(parent),
    CommonDialog1(dialog.release()),
    messages_(std::move(messages))
{
    setObjectName(QStringLiteral("Form1"));
    CommonDialog1->setParent(this);
    CommonDialog1->setObjectName(QStringLiteral("CommonDialog1"));
    setWindowTitle(QStringLiteral("TXT非重复字库提取"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addPixmap(yaoLingziPicture(size));
    setWindowIcon(icon);
    setFont(windowFont());
    setFixedSize(730, 630);
    createControls();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    Label4 = label(this, "Label4", twips(600, 480, 2295, 255), QStringLiteral("请选择要提取的TXT文件："));
    Text1 = place<QLineEdit>(this, "Text1", twips(2760, 360, 6375, 375));
    Command2 = button(this, "Command2", twips(9240, 360, 615, 375), QStringLiteral("浏览"));
    Command1 = button(this, "Command1", twips(960, 1080, 975, 375), QStringLiteral("读取"));
    Label5 = label(this, "Label5", twips(2040, 1200, 495, 255), QStringLiteral("-->>"));
    Command5 = button(this, "Command5", twips(2520, 1080, 1455, 375), QStringLiteral("生成非重复字库"));
    Label6 = label(this, "Label6", twips(4080, 1200, 495, 255), QStringLiteral("-->>"));
    Command7 = button(this, "Command7", twips(4560, 1080, 975, 375), QStringLiteral("排序"));
    Label8 = label(this, "Label8", twips(5640, 1200, 495, 255), QStringLiteral("-->>"));
    Command8 = button(this, "Command8", twips(6120, 1080, 1215, 375), QStringLiteral("写入END.txt"));
    Command4 = button(this, "Command4", twips(8280, 1080, 855, 375), QStringLiteral("退出"));
    Label1 = label(this, "Label1", twips(240, 1800, 9135, 255), QString());
    List1 = place<QListWidget>(this, "List1", twips(240, 2040, 10455, 3660));
    Label2 = label(this, "Label2", twips(1800, 6000, 1335, 255), QStringLiteral("筛选首字符为："));
    Text2 = place<QLineEdit>(this, "Text2", twips(3120, 5880, 2295, 375));
    Label3 = label(this, "Label3", twips(5520, 6000, 1335, 255), QStringLiteral("之后的第几行："));
    Text3 = place<QLineEdit>(this, "Text3", twips(6840, 5880, 735, 375));
    Command3 = button(this, "Command3", twips(7800, 5880, 975, 375), QStringLiteral("筛选看看"));
    Label7 = label(this, "Label7", twips(240, 6480, 9375, 255), charsetCaption);
    Text4 = place<CharsetBox>(this, "Text4", twips(240, 6720, 10455, 2535));
    List2 = place<QListWidget>(this, "List2", twips(0, 600, 495, 420));
    Picture1 = place<PictureBox>(this, "Picture1", twips(10480, 0, 495, 495));

    Text2->setMaxLength(20);
    Text3->setMaxLength(1);
    Text4->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text4->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text4->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A character set has no spaces; wrap it anywhere.
    Text4->setWordWrapMode(QTextOption::WrapAnywhere);
    Text4->setTabChangesFocus(true);
    // Ten thousand lines: lay them out by the first one's height.
    List1->setUniformItemSizes(true);
    List2->hide();
    Picture1->setPixmap(yaoLingziPicture());
    Picture1->setAlignment(Qt::AlignCenter);
    Picture1->setFocusPolicy(Qt::TabFocus);
    // Enter on a focused button clicks it, as on Windows.
    for (QPushButton* command : {Command1, Command2, Command3, Command4, Command5, Command7, Command8})
        command->setAutoDefault(true);

    QWidget* tabOrder[] = {Command1, Command2, Text1, List1, Text2, Text3, Command3, List2, Command4,
        Command5, Text4, Command7, Command8, Picture1};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Picture1, &PictureBox::doubleClicked, this, &Form1::Picture1_DblClick);
}

void Form1::Form_Load()
{
    Command7->setEnabled(false);
    Command8->setEnabled(false);
    Command3->setEnabled(false);
    Command5->setEnabled(false);
    Command1->setEnabled(false);
    Text1->clear();
    Text1->setReadOnly(true);
    Text2->clear();
    Text3->clear();
    Text4->clear();
    Label1->setText(previewCaption);

    // The balloons stay with their boxes once the helpers are gone.
    {
        Class1 tip;
        tip.ParentControl(Text2);
        tip.ToolTipTitle(QString());
        tip.ToolTipText(QStringLiteral("请注意大小写输入是正确"));
        tip.Create();
    }
    {
        Class1 tip;
        tip.ParentControl(Text3);
        tip.ToolTipTitle(QString());
        tip.ToolTipText(QStringLiteral("可填可不填，默认0行，即当前行"));
        tip.Create();
    }
}

void Form1::act(const std::function<void()>& action, OnFailure onError)
{
    try {
        action();
    } catch (const Failure& failure) {
        if (onError == OnFailure::Report)
            MsgBox(QString::fromStdString(words(failure, Language::Chinese)), errorTitle);
    }
}

void Form1::MsgBox(const QString& prompt, const QString& title)
{
    messages_->MsgBox(this, prompt, title);
}

// Filter and Generate read the offset box by one rule: empty or blank is 0,
// anything else must be a number.
bool Form1::offsetIsNumber()
{
    if (is_number_or_blank(Text3->text().toStdU16String())) return true;
    MsgBox(QStringLiteral("第几行只能是数字"), errorTitle);
    return false;
}

// Browse: a file becomes the source only once it is known to be clean.
void Form1::Command2_Click()
{
    CommonDialog1->Filter = QStringLiteral("Text (*.txt)|*.txt|All file (*.*)|*.*");
    if (!CommonDialog1->ShowOpen(this) || CommonDialog1->FileName.isEmpty()) return;
    openSource(CommonDialog1->FileName);
}

void Form1::openSource(const QString& chosen)
{
    ScanResult found;
    bool scanned = false;
    act(
        [&] {
            BusyCursor busy;
            found = scan(toPath(chosen));
            scanned = true;
        },
        OnFailure::Ignore);
    if (!scanned || found.status == ScanStatus::Empty) return;
    if (found.status == ScanStatus::ControlZ) {
        // The same wording as charlib-cli's, then where the picture explains Control-Z.
        const Outcome controlZ(Code::ControlZ, {{"offset", found.position}});
        MsgBox(QString::fromStdString(words(controlZ, Language::Chinese)) +
                QStringLiteral("具体细节，可双击瑶铃子的头象查看。"),
            errorTitle);
        return;
    }
    sourcePath_ = chosen;
    Text1->setText(QDir::toNativeSeparators(chosen));
    Command1->setEnabled(true);
    Command1->setText(QStringLiteral("读取"));
    Command3->setEnabled(true);
    Command5->setEnabled(false);
    // The set is cleared: Sort and Write wait for the next Generate, so that
    // one click cannot replace this folder's END.txt with an empty set.
    Command7->setEnabled(false);
    Command8->setEnabled(false);
    Label1->setText(previewCaption);
    Label7->setText(charsetCaption);
    List1->clear();
    Text4->clear();
}

// Read: the controls change only after the file has been read.
void Form1::Command1_Click()
{
    act([&] {
        BusyCursor busy;
        LoadResult loaded = load(toPath(sourcePath_));
        fill(*List1, toStrings(loaded.lines),
            loaded.over_limit ? QStringLiteral("文本超过10000行，速度考虑，只显示10000行") : QString());
        Text4->clear();
        if (loaded.over_limit)
            Label1->setText(previewCaption + QStringLiteral("                大于10000行"));
        else
            Label1->setText(previewCaption + QStringLiteral("        共") + number(List1->count()) +
                QStringLiteral("行"));
        Command1->setText(QStringLiteral("重新读取"));
        Command3->setEnabled(true);
        Command5->setEnabled(true);
        Command7->setEnabled(false);
        Command8->setEnabled(false);
        Label7->setText(charsetCaption);
        Text3->setText(QStringLiteral("0"));
    });
}

// Filter: narrows the preview to the lines the marker selects.
void Form1::Command3_Click()
{
    const QString marker = Text2->text();
    if (marker.isEmpty()) {
        MsgBox(QStringLiteral("筛选条件绝对不能不填"), errorTitle);
        return;
    }
    if (!offsetIsNumber()) return;
    const double offset = numeric_value(Text3->text().toStdU16String());
    if (offset < 0) {
        MsgBox(QStringLiteral("第几行不能小于零"), errorTitle);
        return;
    }
    QStringList selected = toStrings(filter(lines(*List1), marker.toStdU16String(), offset));
    fill(*List2, selected);
    fill(*List1, selected);
    Command3->setEnabled(false);
}

void Form1::Command4_Click()
{
    close();
}

// Generate: the whole file again, whatever the preview shows.
void Form1::Command5_Click()
{
    if (!offsetIsNumber()) return;
    act([&] {
        BusyCursor busy;
        const std::u16string charset = extract(toPath(sourcePath_), Text2->text().toStdU16String(),
            whole(numeric_value(Text3->text().toStdU16String())));
        Text4->setText(QString::fromStdU16String(charset));
        Label7->setText(Label7->text() + QStringLiteral("                共计") +
            number(Text4->text().size()) + QStringLiteral("个字符"));
        Command3->setEnabled(false);
        Command5->setEnabled(false);
        Command7->setEnabled(true);
        Command8->setEnabled(true);
    });
}

void Form1::Command7_Click()
{
    Text4->setText(QString::fromStdU16String(sort_charset(Text4->text().toStdU16String())));
    Command7->setEnabled(false);
}

// Write: END.txt goes beside the source file, where the Windows dialog
// would have left the current folder.
void Form1::Command8_Click()
{
    act([&] {
        {
            BusyCursor busy;
            write_charset(
                toPath(sourcePath_).parent_path() / output_file_name, Text4->text().toStdU16String());
        }
        Command8->setEnabled(false);
        MsgBox(QStringLiteral("恭喜你！文件写入完成"), QStringLiteral("恭喜！"));
    });
}

void Form1::Picture1_DblClick()
{
    MsgBox(QStringList(std::begin(controlZHelp), std::end(controlZHelp)).join(QLatin1Char('\r')),
        QStringLiteral("关于Ctrl+Z"));
}

}  // namespace charlib
