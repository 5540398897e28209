#include <QApplication>

#include <memory>

#include "app/common_dialog.h"
#include "app/main_window.h"
#include "app/message_boxes.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setFont(charlib::windowFont());
    charlib::Form1 form(
        std::make_unique<charlib::QtCommonDialog>(), std::make_unique<charlib::QtMessageBoxes>());
    form.show();
    return app.exec();
}
