#pragma once

#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/inspect.h"
#include "messages/language.h"
#include "studio/dialogs.h"
#include "studio/project_model.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QThread;

namespace charlib::studio {

class AtlasPagesView;
class CharacterGrid;
class CoverageBar;
class OptionForm;
class WebPiecesTable;

// The project window: the jobs of a project file at the side; the current
// job's sources, selection, font and outputs in tabs; its characters, what
// the font lacks and where each is used; its build, with what it says.
class StudioWindow : public QMainWindow {
    Q_OBJECT
public:
    StudioWindow(Language language, std::unique_ptr<StudioDialogs> dialogs, QWidget* parent = nullptr);
    ~StudioWindow() override;

    // What the command line gives: a project file, a folder or files to read
    // (a new project's job), or nothing (a new project).
    void openArguments(const QStringList& arguments);
    // Opens a project file, saying why when it cannot. False: the project stays as it was.
    bool openProject(const QString& path);
    // Adds files or folders as sources of the current job (a new job when there is none).
    void addSources(const QStringList& paths);

    const ProjectModel& project() const { return project_; }
    int currentJob() const { return current_; }
    bool isModified() const { return isWindowModified(); }
    // Working in the background: reading the job, or building.
    bool isBusy() const { return inspecting_ || building_; }
    // What the last look at the current job found.
    const cli::Inspection& inspection() const { return inspection_; }

signals:
    void inspected();  // the current job was looked at and is shown
    void built(int status);  // a build ended, with charlib-cli build's status

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void makeActions();
    QWidget* makeJobsPanel();
    QWidget* makeTabs();
    QWidget* makeCharactersPanel();
    QWidget* makeStatusRow();
    QWidget* scrolled(QWidget* inside);
    QPushButton* button(const std::string& text, const char* name, void (StudioWindow::*slot)());

    // The project and its file.
    void newProject();
    void openAsked();
    bool save();
    bool saveAs();
    bool saveTo(const QString& path);
    bool settleUnsaved();  // asks about unsaved changes; false: the user cancelled
    void setProject(ProjectModel project);
    void setModified(bool modified);
    void updateTitle();

    // The jobs.
    void addJob();
    void renameJob();
    void duplicateJob();
    void removeJob();
    void selectJob(int row);
    void refreshJobs();
    JobSettings* job();
    void changeOption(const QString& key, const QStringList& values);
    void jobChanged();  // the current job was edited
    void showJobOptions(const JobSettings& shown);
    void copyCommandLine();
    void addSourceFiles();
    void addSourceFolder();
    void removeSources();
    void editSourceSetting(int row, int column);

    // Looking at the current job in the background.
    void inspectSoon();
    void inspectNow();
    void sourceRead(const SourceReport& report);
    void showInspection(cli::Inspection found);
    void showFaces();
    void showPlaces(char32_t character);
    void copyPlaces();

    // Building.
    void buildCurrent();
    void buildAll();
    void startBuild(const std::vector<std::string>& jobs);
    void cancel();
    void watchInputs();
    void inputChanged();
    std::map<std::string, std::pair<qint64, qint64>> inputStamps(QStringList* folders = nullptr) const;

    void say(const QString& line);
    void showMessages();
    static QString withoutProgramName(const QString& line);
    void showSummary(const std::string& text);
    void showNothing(const std::string& why);  // no characters, and why
    void showProgress(cli::Stage stage, std::uint64_t done, std::uint64_t total);
    void runInBackground(std::function<void()> work);

    Language language_;
    std::unique_ptr<StudioDialogs> dialogs_;
    ProjectModel project_;
    int current_ = -1;
    cli::Inspection inspection_;
    QStringList said_;  // what the user did, and what the last build said
    QStringList looked_;  // what the last look at the job said
    QString fontFamily_;  // the job's font as Qt knows it
    std::map<std::string, QStringList> fontFamilies_;  // of each font file added to Qt, once

    std::vector<QPointer<QThread>> threads_;
    int generation_ = 0;  // of the look at the job; older results are dropped
    bool inspecting_ = false, inspectAgain_ = false, building_ = false;
    std::shared_ptr<std::atomic<bool>> buildCancelled_, lookCancelled_;
    QTimer inspectTimer_, watchTimer_;
    QFileSystemWatcher watcher_;
    std::map<std::string, std::pair<qint64, qint64>> stamps_;  // of the inputs watched

    QListWidget* jobs_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QTableWidget* sources_ = nullptr;
    std::vector<OptionForm*> forms_;
    QListWidget* faces_ = nullptr;
    CharacterGrid* characters_ = nullptr;
    CoverageBar* coverage_ = nullptr;
    QComboBox* order_ = nullptr;
    QListWidget* places_ = nullptr;
    AtlasPagesView* pages_ = nullptr;
    WebPiecesTable* pieces_ = nullptr;
    QPlainTextEdit* messages_ = nullptr;
    QLabel* summary_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* build_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QCheckBox* watch_ = nullptr;
    QAction* buildAction_ = nullptr;
};

}  // namespace charlib::studio
