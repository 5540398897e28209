#include "studio/option_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>

#include "cli/manual.h"
#include "cli/option_table.h"
#include "messages/catalog.h"
#include "qt_text.h"

namespace charlib::studio {

namespace {

// Options that name a file the job reads; the other paths are written.
bool reads(std::string_view key)
{
    return key == "font" || key == "exclude" || key == "add-file";
}

}  // namespace

OptionForm::OptionForm(
    const std::vector<std::string_view>& keys, Language language, StudioDialogs& dialogs, QWidget* parent) :
    QWidget(parent), language_(language), dialogs_(dialogs)
{
    auto* layout = new QFormLayout(this);
    layout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (std::string_view long_key : keys) {
        const cli::OptionInfo& option = cli::option_info("--" + std::string(long_key));
        const QString key = qs(long_key);
        QWidget* control = make_control(option, key);
        const QString help = QString::fromStdString(cli::option_help(option, language));
        control->setObjectName(key);
        control->setAccessibleName(key);
        control->setAccessibleDescription(help);
        control->setToolTip(help);
        fields_.emplace(std::string(long_key), Field{&option, control});
        if (option.value_name.empty()) {
            layout->addRow(control);
        } else {
            auto* label = new QLabel(key, this);
            label->setToolTip(help);
            QWidget* field = control;
            if (option.completion == cli::Completion::Files || option.completion == cli::Completion::Folders ||
                option.completion == cli::Completion::FontFiles) {
                field = new QWidget(this);
                auto* row = new QHBoxLayout(field);
                row->setContentsMargins(0, 0, 0, 0);
                row->addWidget(control, 1);
                auto* browse = new QToolButton(field);
                browse->setText(QStringLiteral("…"));
                browse->setObjectName(key + QStringLiteral("-browse"));
                browse->setAccessibleName(
                    QString::fromStdString(charlib::tr(language, "Choose {option}", {{"option", key.toStdString()}})));
                browse->setToolTip(browse->accessibleName());
                row->addWidget(browse);
                const StudioDialogs::PathKind kind = option.completion == cli::Completion::Folders
                    ? StudioDialogs::PathKind::Folder
                    : reads(long_key) ? StudioDialogs::PathKind::OpenFile
                                      : StudioDialogs::PathKind::SaveFile;
                connect(browse, &QToolButton::clicked, this, [this, key, kind, control, browse] {
                    const QString chosen = dialogs_.path(this, browse->accessibleName(), QString(), kind);
                    if (chosen.isEmpty()) return;
                    const QString path = QDir::current().relativeFilePath(chosen);
                    if (auto* lines = qobject_cast<QPlainTextEdit*>(control))
                        lines->appendPlainText(path);
                    else
                        static_cast<QLineEdit*>(control)->setText(path);
                    changed(key);
                });
            }
            label->setBuddy(control);
            layout->addRow(label, field);
        }
    }
}

QWidget* OptionForm::make_control(const cli::OptionInfo& option, const QString& key)
{
    if (option.value_name.empty()) {
        auto* box = new QCheckBox(key, this);
        connect(box, &QCheckBox::toggled, this, [this, key] { changed(key); });
        return box;
    }
    if (option.values && !option.repeats) {
        auto* list = new QComboBox(this);
        list->addItem(option.default_value.empty()
                ? QString()
                : QString::fromStdString(charlib::tr(language_, "(default: {value})", {{"value", std::string(option.default_value)}})),
            QString());
        for (const std::string& value : option.values())
            list->addItem(QString::fromStdString(value), QString::fromStdString(value));
        connect(list, &QComboBox::activated, this, [this, key] { changed(key); });
        return list;
    }
    if (option.repeats) {
        auto* lines = new QPlainTextEdit(this);
        lines->setTabChangesFocus(true);
        lines->setPlaceholderText(QString::fromStdString(charlib::tr(language_, "one a line")));
        lines->setMaximumHeight(lines->fontMetrics().lineSpacing() * 4);
        connect(lines, &QPlainTextEdit::textChanged, this, [this, key] { changed(key); });
        return lines;
    }
    auto* field = new QLineEdit(this);
    field->setPlaceholderText(qs(option.default_value));
    connect(field, &QLineEdit::textEdited, this, [this, key] { changed(key); });
    return field;
}

QStringList OptionForm::values_of(const Field& field) const
{
    if (auto* box = qobject_cast<QCheckBox*>(field.control))
        return box->isChecked() ? QStringList{QString()} : QStringList{};
    if (auto* list = qobject_cast<QComboBox*>(field.control)) {
        const QString value = list->currentData().toString();
        return value.isEmpty() ? QStringList{} : QStringList{value};
    }
    if (auto* lines = qobject_cast<QPlainTextEdit*>(field.control)) {
        QStringList values = lines->toPlainText().split(QLatin1Char('\n'));
        values.removeAll(QString());
        return values;
    }
    const QString value = static_cast<QLineEdit*>(field.control)->text();
    return value.isEmpty() ? QStringList{} : QStringList{value};
}

void OptionForm::changed(const QString& key)
{
    if (showing_) return;
    emit optionChanged(key, values_of(fields_.at(key.toStdString())));
}

void OptionForm::show_job(const JobSettings& job)
{
    showing_ = true;
    for (const auto& [key, field] : fields_) {
        const std::vector<std::string> values = job.values(key);
        if (auto* box = qobject_cast<QCheckBox*>(field.control)) {
            box->setChecked(!values.empty());
        } else if (auto* list = qobject_cast<QComboBox*>(field.control)) {
            const int at = values.empty() ? 0 : list->findData(QString::fromStdString(values.front()));
            if (at < 0) list->addItem(QString::fromStdString(values.front()), QString::fromStdString(values.front()));
            list->setCurrentIndex(at < 0 ? list->count() - 1 : at);
        } else if (auto* lines = qobject_cast<QPlainTextEdit*>(field.control)) {
            QStringList text;
            for (const std::string& value : values)
                text.push_back(QString::fromStdString(value));
            const QString joined = text.join(QLatin1Char('\n'));
            if (lines->toPlainText() != joined) lines->setPlainText(joined);
        } else {
            auto* line = static_cast<QLineEdit*>(field.control);
            const QString value = values.empty() ? QString() : QString::fromStdString(values.front());
            if (line->text() != value) line->setText(value);
        }
    }
    showing_ = false;
}

QWidget* OptionForm::control(std::string_view key) const
{
    const auto found = fields_.find(key);
    return found == fields_.end() ? nullptr : found->second.control;
}

}  // namespace charlib::studio
