#include "studio/studio_window.h"

namespace charlib::studio {

StudioWindow::StudioWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("StudioWindow"));
    resize(1280, 720);
}

}  // namespace charlib::studio
