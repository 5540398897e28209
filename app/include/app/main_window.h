#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace charlib {

class CharsetBox;
class CommonDialog;
class MessageBoxes;
class PictureBox;

// The window's font: 9 points at 96 dpi, in a face with Chinese glyphs.
QFont windowFont();

// The tool's one window. Each button runs one action of the core on what
// the controls hold and writes the result back; the controls are the only
// state, besides the accepted source file.
class Form1 : public QWidget {
    Q_OBJECT

public:
    Form1(std::unique_ptr<CommonDialog> dialog, std::unique_ptr<MessageBoxes> messages,
        QWidget* parent = nullptr);
    ~Form1() override;

    // As if `path` had been chosen in Browse: checked for Control-Z, then
    // accepted or refused with a message. The command line's file comes here.
    void openSource(const QString& path);

private:
    void createControls();
    void Form_Load();

    void Command1_Click();  // Read
    void Command2_Click();  // Browse
    void Command3_Click();  // Filter
    void Command4_Click();  // Exit
    void Command5_Click();  // Generate
    void Command7_Click();  // Sort
    void Command8_Click();  // Write
    void Picture1_DblClick();

    enum class OnFailure { Report, Ignore };
    // Runs an action; a file failure ends it, with a message unless ignored.
    void act(const std::function<void()>& action, OnFailure onError = OnFailure::Report);
    void MsgBox(const QString& prompt, const QString& title);
    // False, after telling the user, when the offset box holds no number.
    bool offsetIsNumber();

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLineEdit* Text1;
    QLineEdit* Text2;
    QLineEdit* Text3;
    CharsetBox* Text4;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QPushButton* Command4;
    QPushButton* Command5;
    QPushButton* Command7;
    QPushButton* Command8;
    QListWidget* List1;
    QListWidget* List2;
    PictureBox* Picture1;
    CommonDialog* CommonDialog1;  // a child of the window

    std::unique_ptr<MessageBoxes> messages_;
    // The file Read and Generate open: the last one Browse accepted.
    QString sourcePath_;
};

}  // namespace charlib
