#pragma once

#include <QMainWindow>

namespace charlib::studio {

// The project window: the jobs of a project file, a job's sources, its
// characters, its font and outputs, and its build.
class StudioWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StudioWindow(QWidget* parent = nullptr);
};

}  // namespace charlib::studio
