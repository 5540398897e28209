#pragma once

#include <QWidget>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "messages/language.h"
#include "studio/dialogs.h"
#include "studio/project_model.h"

namespace charlib::cli {
struct OptionInfo;
}

namespace charlib::studio {

// Controls for some of a job's options, made from charlib-cli's table of
// options: a check box for a flag, a list for an option of fixed values, a
// field with a button for a path, a box of lines for one given more than
// once; each with its help as a tooltip.
class OptionForm : public QWidget {
    Q_OBJECT
public:
    OptionForm(const std::vector<std::string_view>& keys, Language language, StudioDialogs& dialogs,
        QWidget* parent = nullptr);

    // Shows the job's values; says nothing back.
    void show_job(const JobSettings& job);
    // The control of an option, found by its key.
    QWidget* control(std::string_view key) const;

signals:
    // The user changed the option: its values now (none: not given).
    void optionChanged(const QString& key, const QStringList& values);

private:
    struct Field {
        const cli::OptionInfo* option;
        QWidget* control;
    };
    QWidget* make_control(const cli::OptionInfo& option, const QString& key);
    QStringList values_of(const Field& field) const;
    void changed(const QString& key);

    Language language_;
    StudioDialogs& dialogs_;
    std::map<std::string, Field, std::less<>> fields_;
    bool showing_ = false;
};

}  // namespace charlib::studio
