#include "studio/studio_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>

#include <filesystem>
#include <map>
#include <variant>

#include "cli/build.h"
#include "cli/font_words.h"
#include "cli/option_table.h"
#include "cli/plan.h"
#include "cli/project.h"
#include "cli/said.h"
#include "codec/encodings.h"
#include "codec/utf.h"
#include "font/font.h"
#include "line_stream.h"
#include "messages/catalog.h"
#include "qt_text.h"
#include "output/output.h"
#include "simd/kernel.h"
#include "studio/character_grid.h"
#include "studio/option_form.h"
#include "studio/output_views.h"

namespace charlib::studio {

namespace {

// The options of each tab, in the order shown.
const std::vector<std::string_view> source_keys{"recursive", "glob", "iglob", "hidden", "source-format",
    "encoding", "newline", "keep-going", "strict"};
const std::vector<std::string_view> selection_keys{"marker", "offset", "key", "column", "key-column", "xliff-source",
    "markup", "order", "sort", "min-count", "only", "no-ascii", "exclude", "add", "add-file", "add-set"};
const std::vector<std::string_view> font_keys{"font", "face", "require-all", "missing-only", "preview"};
const std::vector<std::string_view> list_keys{
    "output", "format", "output-encoding", "replace-unmappable", "locations", "tbl-start", "report"};
const std::vector<std::string_view> subset_keys{"subset", "layout-features"};
const std::vector<std::string_view> atlas_keys{"atlas", "engine", "atlas-format", "size", "padding", "page", "mono",
    "sdf", "spread", "no-kerning", "atlas-keep", "grid", "grid-columns"};
const std::vector<std::string_view> web_keys{
    "web", "family", "css", "url-prefix", "chunk-size", "web-all", "web-fresh"};

enum SourceColumn { PathColumn, FormatColumn, EncodingColumn, WhyColumn, LinesColumn, InvalidColumn, ErrorColumn };

// The characters of a text as -f where lists their places, a line each.
QStringList where_lines(char32_t character, const Places& places, std::size_t most)
{
    Tally one;
    one.characters = std::u32string(1, character);
    const QString all = qs(to_utf8(format_where(one, places, most, U"\n")));
    return all.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

StudioWindow::StudioWindow(Language language, std::unique_ptr<StudioDialogs> dialogs, QWidget* parent) :
    QMainWindow(parent), language_(language), dialogs_(std::move(dialogs))
{
    setObjectName(QStringLiteral("StudioWindow"));
    setAcceptDrops(true);
    makeActions();

    auto* middle = new QSplitter(Qt::Horizontal, this);
    middle->addWidget(makeJobsPanel());
    middle->addWidget(makeTabs());
    middle->addWidget(makeCharactersPanel());
    middle->setStretchFactor(0, 0);
    middle->setStretchFactor(1, 3);
    middle->setStretchFactor(2, 2);
    middle->setSizes({170, 620, 490});

    messages_ = new QPlainTextEdit(this);
    messages_->setObjectName(QStringLiteral("Messages"));
    messages_->setAccessibleName(qs(charlib::tr(language_, "Messages")));
    messages_->setReadOnly(true);
    messages_->setTabChangesFocus(true);

    auto* whole = new QSplitter(Qt::Vertical, this);
    whole->addWidget(middle);
    whole->addWidget(messages_);
    whole->setStretchFactor(0, 4);
    whole->setStretchFactor(1, 1);
    whole->setSizes({540, 120});

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(whole, 1);
    layout->addWidget(makeStatusRow());
    setCentralWidget(central);

    inspectTimer_.setSingleShot(true);
    inspectTimer_.setInterval(350);
    connect(&inspectTimer_, &QTimer::timeout, this, &StudioWindow::inspectNow);
    // A burst of changes (an editor saving, a folder copied in) builds once.
    watchTimer_.setSingleShot(true);
    watchTimer_.setInterval(500);
    connect(&watchTimer_, &QTimer::timeout, this, &StudioWindow::inputChanged);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { watchTimer_.start(); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { watchTimer_.start(); });

    resize(1280, 720);
    setMinimumSize(960, 600);
    setProject({});
}

StudioWindow::~StudioWindow()
{
    // Work in the background still refers to the window: it ends first.
    if (buildCancelled_) buildCancelled_->store(true);
    if (lookCancelled_) lookCancelled_->store(true);
    for (const QPointer<QThread>& thread : threads_)
        if (thread) thread->wait();
}

void StudioWindow::makeActions()
{
    QMenu* file = menuBar()->addMenu(qs(charlib::tr(language_, "&Project")));
    const auto add = [this](QMenu* menu, const std::string& text, QKeySequence keys, auto slot, const char* name) {
        QAction* action = menu->addAction(qs(text));
        action->setObjectName(QLatin1String(name));
        if (!keys.isEmpty()) action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(file, charlib::tr(language_, "&New"), QKeySequence::New, &StudioWindow::newProject, "New");
    add(file, charlib::tr(language_, "&Open…"), QKeySequence::Open, &StudioWindow::openAsked, "Open");
    add(file, charlib::tr(language_, "&Save"), QKeySequence::Save, &StudioWindow::save, "Save");
    add(file, charlib::tr(language_, "Save &As…"), QKeySequence::SaveAs, &StudioWindow::saveAs, "SaveAs");
    file->addSeparator();
    add(file, charlib::tr(language_, "&Quit"), QKeySequence::Quit, &QWidget::close, "Quit");

    QMenu* jobs = menuBar()->addMenu(qs(charlib::tr(language_, "&Job")));
    add(jobs, charlib::tr(language_, "&Add job"), QKeySequence(), &StudioWindow::addJob, "AddJob");
    add(jobs, charlib::tr(language_, "&Rename job…"), QKeySequence(Qt::Key_F2), &StudioWindow::renameJob, "RenameJob");
    add(jobs, charlib::tr(language_, "&Duplicate job"), QKeySequence(), &StudioWindow::duplicateJob, "DuplicateJob");
    add(jobs, charlib::tr(language_, "Re&move job"), QKeySequence(), &StudioWindow::removeJob, "RemoveJob");
    jobs->addSeparator();
    add(jobs, charlib::tr(language_, "Add source &files…"), QKeySequence(), &StudioWindow::addSourceFiles, "AddFiles");
    add(jobs, charlib::tr(language_, "Add a source f&older…"), QKeySequence(), &StudioWindow::addSourceFolder, "AddFolder");
    jobs->addSeparator();
    add(jobs, charlib::tr(language_, "&Copy as command line"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
        &StudioWindow::copyCommandLine, "CopyCommandLine");

    QMenu* build = menuBar()->addMenu(qs(charlib::tr(language_, "&Build")));
    buildAction_ = add(build, charlib::tr(language_, "&Build this job"), QKeySequence(Qt::CTRL | Qt::Key_B),
        &StudioWindow::buildCurrent, "BuildJob");
    add(build, charlib::tr(language_, "Build &all jobs"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B),
        &StudioWindow::buildAll, "BuildAll");
    add(build, charlib::tr(language_, "&Cancel"), QKeySequence(Qt::Key_Escape), &StudioWindow::cancel, "CancelAction");
}

QWidget* StudioWindow::makeJobsPanel()
{
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(qs(charlib::tr(language_, "&Jobs")), panel);
    jobs_ = new QListWidget(panel);
    jobs_->setObjectName(QStringLiteral("Jobs"));
    jobs_->setAccessibleName(qs(charlib::tr(language_, "Jobs")));
    label->setBuddy(jobs_);
    connect(jobs_, &QListWidget::currentRowChanged, this, &StudioWindow::selectJob);
    connect(jobs_, &QListWidget::itemDoubleClicked, this, &StudioWindow::renameJob);
    layout->addWidget(label);
    layout->addWidget(jobs_, 1);
    layout->addWidget(button(charlib::tr(language_, "A&dd"), "AddJobButton", &StudioWindow::addJob));
    layout->addWidget(button(charlib::tr(language_, "Re&name…"), "RenameJobButton", &StudioWindow::renameJob));
    layout->addWidget(button(charlib::tr(language_, "D&uplicate"), "DuplicateJobButton", &StudioWindow::duplicateJob));
    layout->addWidget(button(charlib::tr(language_, "&Remove"), "RemoveJobButton", &StudioWindow::removeJob));
    return panel;
}

// A push button that calls `slot`, named for tests and screen readers.
QPushButton* StudioWindow::button(const std::string& text, const char* name, void (StudioWindow::*slot)())
{
    auto* push = new QPushButton(qs(text), this);
    push->setObjectName(QLatin1String(name));
    push->setAccessibleName(push->text().remove(QLatin1Char('&')));
    connect(push, &QPushButton::clicked, this, slot);
    return push;
}

QWidget* StudioWindow::scrolled(QWidget* inside)
{
    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus);  // Tab goes to the controls inside, and the area follows them
    area->setWidget(inside);
    return area;
}

QWidget* StudioWindow::makeTabs()
{
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("JobTabs"));
    tabs_->setAccessibleName(qs(charlib::tr(language_, "Job settings")));
    const auto form = [this](const std::vector<std::string_view>& keys) {
        auto* made = new OptionForm(keys, language_, *dialogs_, this);
        connect(made, &OptionForm::optionChanged, this, &StudioWindow::changeOption);
        forms_.push_back(made);
        return made;
    };

    // Sources: the files read, then how they are read.
    auto* sourcesPage = new QWidget(this);
    auto* sourcesLayout = new QVBoxLayout(sourcesPage);
    sources_ = new QTableWidget(0, 7, sourcesPage);
    sources_->setObjectName(QStringLiteral("Sources"));
    sources_->setAccessibleName(QStringLiteral("Sources"));
    sources_->setHorizontalHeaderLabels({qs(charlib::tr(language_, "Path")), qs(charlib::tr(language_, "Format")),
        qs(charlib::tr(language_, "Encoding")), qs(charlib::tr(language_, "Why")), qs(charlib::tr(language_, "Lines or entries")),
        qs(charlib::tr(language_, "Invalid sequences")), qs(charlib::tr(language_, "Error"))});
    sources_->horizontalHeader()->setStretchLastSection(true);
    sources_->setSelectionBehavior(QAbstractItemView::SelectRows);
    sources_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sources_->setToolTip(qs(charlib::tr(language_,
        "The files the job reads. Double-click a format or an encoding to change it: it applies to every "
        "source of the job, as the options below do.")));
    connect(sources_, &QTableWidget::cellDoubleClicked, this, &StudioWindow::editSourceSetting);
    sourcesLayout->addWidget(sources_, 2);
    auto* sourceButtons = new QHBoxLayout();
    sourceButtons->addWidget(
        button(charlib::tr(language_, "Add &files…"), "AddFilesButton", &StudioWindow::addSourceFiles));
    sourceButtons->addWidget(
        button(charlib::tr(language_, "Add a f&older…"), "AddFolderButton", &StudioWindow::addSourceFolder));
    sourceButtons->addWidget(
        button(charlib::tr(language_, "Remove source"), "RemoveSourceButton", &StudioWindow::removeSources));
    sourceButtons->addStretch(1);
    sourcesLayout->addLayout(sourceButtons);
    sourcesLayout->addWidget(scrolled(form(source_keys)), 1);
    tabs_->addTab(sourcesPage, qs(charlib::tr(language_, "&Sources")));

    tabs_->addTab(scrolled(form(selection_keys)), qs(charlib::tr(language_, "Se&lection")));

    auto* fontPage = new QWidget(this);
    auto* fontLayout = new QVBoxLayout(fontPage);
    fontLayout->addWidget(form(font_keys));
    auto* facesLabel = new QLabel(qs(charlib::tr(language_, "Faces of the font file (double-click one to use it):")), fontPage);
    faces_ = new QListWidget(fontPage);
    faces_->setObjectName(QStringLiteral("Faces"));
    faces_->setAccessibleName(qs(charlib::tr(language_, "Faces")));
    facesLabel->setBuddy(faces_);
    connect(faces_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        changeOption(QStringLiteral("face"), {item->data(Qt::UserRole).toString()});
    });
    fontLayout->addWidget(facesLabel);
    fontLayout->addWidget(faces_, 1);
    tabs_->addTab(fontPage, qs(charlib::tr(language_, "&Font")));

    tabs_->addTab(scrolled(form(list_keys)), qs(charlib::tr(language_, "Character &list")));
    tabs_->addTab(scrolled(form(subset_keys)), qs(charlib::tr(language_, "Su&bset")));

    auto* atlasPage = new QSplitter(Qt::Vertical, this);
    atlasPage->addWidget(scrolled(form(atlas_keys)));
    pages_ = new AtlasPagesView(language_, atlasPage);
    atlasPage->addWidget(pages_);
    atlasPage->setSizes({260, 300});
    tabs_->addTab(atlasPage, qs(charlib::tr(language_, "&Atlas and grid")));

    auto* webPage = new QSplitter(Qt::Vertical, this);
    webPage->addWidget(scrolled(form(web_keys)));
    pieces_ = new WebPiecesTable(language_, webPage);
    webPage->addWidget(pieces_);
    tabs_->addTab(webPage, qs(charlib::tr(language_, "&Web pieces")));
    return tabs_;
}

QWidget* StudioWindow::makeCharactersPanel()
{
    auto* panel = new QSplitter(Qt::Vertical, this);
    auto* top = new QWidget(panel);
    auto* layout = new QVBoxLayout(top);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* orderRow = new QHBoxLayout();
    auto* orderLabel = new QLabel(qs(charlib::tr(language_, "O&rder:")), top);
    order_ = new QComboBox(top);
    order_->setObjectName(QStringLiteral("Order"));
    order_->setAccessibleName(qs(charlib::tr(language_, "Order")));
    order_->addItem(qs(charlib::tr(language_, "first occurrence")), QStringLiteral("first"));
    order_->addItem(qs(charlib::tr(language_, "code")), QStringLiteral("code"));
    order_->addItem(qs(charlib::tr(language_, "most used first")), QStringLiteral("freq"));
    orderLabel->setBuddy(order_);
    connect(order_, &QComboBox::activated, this, [this] {
        JobSettings* current = job();
        if (!current) return;
        current->set_flag("sort", false);
        const QString order = order_->currentData().toString();
        changeOption(QStringLiteral("order"), order == QLatin1String("first") ? QStringList{} : QStringList{order});
    });
    orderRow->addWidget(orderLabel);
    orderRow->addWidget(order_);
    orderRow->addStretch(1);
    layout->addLayout(orderRow);
    characters_ = new CharacterGrid(language_, top);
    connect(characters_, &CharacterGrid::characterSelected, this, &StudioWindow::showPlaces);
    layout->addWidget(characters_, 1);
    coverage_ = new CoverageBar(language_, top);
    layout->addWidget(coverage_);
    panel->addWidget(top);

    auto* bottom = new QWidget(panel);
    auto* placesLayout = new QVBoxLayout(bottom);
    placesLayout->setContentsMargins(0, 0, 0, 0);
    auto* placesLabel = new QLabel(qs(charlib::tr(language_, "&Places of the character (Ctrl+C copies them):")), bottom);
    places_ = new QListWidget(bottom);
    places_->setObjectName(QStringLiteral("Places"));
    places_->setAccessibleName(QStringLiteral("Places"));
    places_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    placesLabel->setBuddy(places_);
    auto* copy = new QShortcut(QKeySequence::Copy, places_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &StudioWindow::copyPlaces);
    placesLayout->addWidget(placesLabel);
    placesLayout->addWidget(places_, 1);
    panel->addWidget(bottom);
    panel->setSizes({420, 160});
    return panel;
}

QWidget* StudioWindow::makeStatusRow()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    summary_ = new QLabel(row);
    summary_->setObjectName(QStringLiteral("Summary"));
    summary_->setAccessibleName(QStringLiteral("Summary"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(summary_, 1);
    progress_ = new QProgressBar(row);
    progress_->setObjectName(QStringLiteral("Progress"));
    progress_->setAccessibleName(qs(charlib::tr(language_, "Progress")));
    progress_->setMaximumWidth(220);
    progress_->setVisible(false);
    layout->addWidget(progress_);
    watch_ = new QCheckBox(qs(charlib::tr(language_, "Rebuild on c&hange")), row);
    watch_->setObjectName(QStringLiteral("RebuildOnChange"));
    watch_->setAccessibleName(watch_->text().remove(QLatin1Char('&')));
    watch_->setToolTip(qs(charlib::tr(language_, "Builds the job again whenever one of its inputs changes, as charlib-cli build --watch does")));
    connect(watch_, &QCheckBox::toggled, this, &StudioWindow::watchInputs);
    layout->addWidget(watch_);
    cancel_ = new QPushButton(qs(charlib::tr(language_, "Cancel")), row);
    cancel_->setObjectName(QStringLiteral("Cancel"));
    cancel_->setAccessibleName(qs(charlib::tr(language_, "Cancel")));
    cancel_->setEnabled(false);
    connect(cancel_, &QPushButton::clicked, this, &StudioWindow::cancel);
    layout->addWidget(cancel_);
    build_ = new QPushButton(qs(charlib::tr(language_, "Build")), row);
    build_->setObjectName(QStringLiteral("Build"));
    build_->setAccessibleName(qs(charlib::tr(language_, "Build")));
    build_->setToolTip(qs(charlib::tr(language_, "Builds this job as charlib-cli build does (Ctrl+B); Ctrl+Shift+B builds them all")));
    connect(build_, &QPushButton::clicked, this, &StudioWindow::buildCurrent);
    layout->addWidget(build_);
    return row;
}

// ---- The project and its file ----

void StudioWindow::openArguments(const QStringList& arguments)
{
    if (arguments.size() == 1 && QFileInfo(arguments.front()).isFile() &&
        arguments.front().endsWith(QLatin1String(".toml"))) {
        openProject(arguments.front());
        return;
    }
    if (arguments.size() == 1 && QFileInfo(arguments.front()).isDir()) {
        const QString inside = QDir(arguments.front()).filePath(qs(std::string(cli::project_file_name)));
        if (QFileInfo(inside).isFile()) {
            openProject(inside);
            return;
        }
        QDir::setCurrent(arguments.front());
        addSources({QStringLiteral(".")});
        return;
    }
    if (!arguments.isEmpty()) addSources(arguments);
}

bool StudioWindow::openProject(const QString& path)
{
    const QFileInfo file(path);
    try {
        open_project(utf8(file.absoluteFilePath()), language_);  // checked before the current folder moves
        // Paths in the project are its folder's: the studio works from there.
        QDir::setCurrent(file.absolutePath());
        setProject(open_project(utf8(file.fileName()), language_));
        return true;
    } catch (const cli::UsageError& error) {
        say(qs(error.what()));
        dialogs_->showError(this, qs(error.what()));
        return false;
    }
}

void StudioWindow::newProject()
{
    if (!settleUnsaved()) return;
    setProject({});
}

void StudioWindow::openAsked()
{
    if (!settleUnsaved()) return;
    const QString path = dialogs_->openProject(this, QDir::currentPath());
    if (!path.isEmpty()) openProject(path);
}

bool StudioWindow::save()
{
    if (project_.path.empty()) return saveAs();
    return saveTo(qs(project_.path.string()));
}

bool StudioWindow::saveAs()
{
    const QString suggested = project_.path.empty() ? QDir::current().filePath(qs(std::string(cli::project_file_name)))
                                                    : QFileInfo(qs(project_.path.string())).absoluteFilePath();
    const QString path = dialogs_->saveProjectAs(this, suggested);
    return !path.isEmpty() && saveTo(path);
}

bool StudioWindow::saveTo(const QString& path)
{
    const QFileInfo target(path);
    const bool elsewhere = target.absolutePath() != QDir::currentPath();
    try {
        save_project(project_, utf8(target.absoluteFilePath()), language_);
    } catch (const cli::UsageError& error) {
        dialogs_->showError(this, qs(charlib::tr(language_, "The project was not saved: {why}", {{"why", error.what()}})));
        return false;
    } catch (const Failure& failure) {
        dialogs_->showError(this, qs(charlib::tr(language_, "The project was not saved: {why}",
                                      {{"why", cli::failure_words(failure, language_)}})));
        return false;
    }
    say(qs(charlib::tr(language_, "Saved “{path}”", {{"path", utf8(target.absoluteFilePath())}})));
    if (elsewhere) return openProject(target.absoluteFilePath());  // its paths are now the new folder's
    project_.path = utf8(target.fileName());
    setModified(false);
    updateTitle();
    watchInputs();
    return true;
}

bool StudioWindow::settleUnsaved()
{
    if (!isWindowModified()) return true;
    const QString name = project_.path.empty() ? qs(charlib::tr(language_, "Untitled")) : qs(project_.path.string());
    switch (dialogs_->askUnsaved(
        this, qs(charlib::tr(language_, "The project “{name}” has changes that are not saved. Save them?", {{"name", utf8(name)}})))) {
    case StudioDialogs::Unsaved::Save:
        return save();
    case StudioDialogs::Unsaved::Discard:
        return true;
    case StudioDialogs::Unsaved::Cancel:
        return false;
    }
    return false;
}

void StudioWindow::setProject(ProjectModel project)
{
    project_ = std::move(project);
    current_ = -1;
    setModified(false);
    refreshJobs();
    selectJob(project_.jobs.empty() ? -1 : 0);
    updateTitle();
    watchInputs();
}

void StudioWindow::setModified(bool modified)
{
    setWindowModified(modified);
}

void StudioWindow::updateTitle()
{
    const std::string name = project_.path.empty()
        ? charlib::tr(language_, "Untitled")
        : QFileInfo(QDir::current().filePath(qs(project_.path.string()))).absoluteDir().dirName().toStdString();
    setWindowTitle(qs(charlib::tr(language_, "Charlib Studio — {project}", {{"project", name}})) + QStringLiteral("[*]"));
}

void StudioWindow::closeEvent(QCloseEvent* event)
{
    if (!settleUnsaved()) {
        event->ignore();
        return;
    }
    cancel();
    event->accept();
}

void StudioWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void StudioWindow::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile());
    if (paths.isEmpty()) return;
    addSources(paths);
    event->acceptProposedAction();
}

// ---- The jobs ----

JobSettings* StudioWindow::job()
{
    return current_ >= 0 && current_ < static_cast<int>(project_.jobs.size()) ? &project_.jobs[current_] : nullptr;
}

void StudioWindow::refreshJobs()
{
    const QSignalBlocker quiet(jobs_);
    jobs_->clear();
    for (const JobSettings& each : project_.jobs)
        jobs_->addItem(qs(each.name));
    jobs_->setCurrentRow(current_);
}

void StudioWindow::selectJob(int row)
{
    if (row == current_ && row >= 0) return;
    current_ = row;
    {
        const QSignalBlocker quiet(jobs_);
        jobs_->setCurrentRow(row);
    }
    const JobSettings none;
    const JobSettings& shown = job() ? *job() : none;
    showJobOptions(shown);
    const QString order = qs(shown.has("sort") ? "code" : shown.value("order"));
    order_->setCurrentIndex(std::max(0, order_->findData(order.isEmpty() ? QStringLiteral("first") : order)));
    tabs_->setEnabled(job() != nullptr);
    showFaces();
    watchInputs();
    inspection_ = {};
    places_->clear();
    inspectNow();
}

void StudioWindow::addJob()
{
    JobSettings added{unused_name("font", project_.jobs), {}, {}};
    project_.jobs.push_back(added);
    refreshJobs();
    jobChanged();
    selectJob(static_cast<int>(project_.jobs.size()) - 1);
}

void StudioWindow::renameJob()
{
    JobSettings* current = job();
    if (!current) return;
    const QString name = dialogs_->text(
        this, qs(charlib::tr(language_, "Rename the job")), qs(charlib::tr(language_, "The job's name:")), qs(current->name)).trimmed();
    if (name.isEmpty() || utf8(name) == current->name) return;
    if (name_taken(utf8(name), project_.jobs)) {
        dialogs_->showError(this, qs(charlib::tr(language_, "A job is already named “{name}”", {{"name", utf8(name)}})));
        return;
    }
    current->name = utf8(name);
    refreshJobs();
    jobChanged();
}

void StudioWindow::duplicateJob()
{
    const JobSettings* current = job();
    if (!current) return;
    JobSettings copy = *current;
    copy.name = unused_name(current->name + "-copy", project_.jobs);
    project_.jobs.insert(project_.jobs.begin() + current_ + 1, copy);
    refreshJobs();
    jobChanged();
    selectJob(current_ + 1);
}

void StudioWindow::removeJob()
{
    if (!job()) return;
    const int removed = current_;
    project_.jobs.erase(project_.jobs.begin() + removed);
    current_ = -1;
    refreshJobs();
    setModified(true);
    selectJob(std::min(removed, static_cast<int>(project_.jobs.size()) - 1));
}

void StudioWindow::changeOption(const QString& key, const QStringList& values)
{
    JobSettings* current = job();
    if (!current) return;
    std::vector<std::string> given;
    for (const QString& value : values)
        given.push_back(utf8(value));
    current->set(utf8(key), given);
    if (key == QLatin1String("font") || key == QLatin1String("face")) showFaces();
    showJobOptions(*current);
    jobChanged();
}

void StudioWindow::showJobOptions(const JobSettings& shown)
{
    for (OptionForm* form : forms_)
        form->show_job(shown);
}

void StudioWindow::jobChanged()
{
    setModified(true);
    inspectSoon();
}

void StudioWindow::copyCommandLine()
{
    const JobSettings* current = job();
    if (!current) return;
    const std::string line = command_line(*current, std::filesystem::current_path());
    QApplication::clipboard()->setText(qs(line));
    say(qs(charlib::tr(language_, "Copied: {line}", {{"line", line}})));
}

void StudioWindow::addSources(const QStringList& paths)
{
    if (!job()) {
        project_.jobs.push_back({unused_name("font", project_.jobs), {}, {}});
        refreshJobs();
        selectJob(static_cast<int>(project_.jobs.size()) - 1);
    }
    JobSettings& current = *job();
    for (const QString& path : paths) {
        const std::string relative = utf8(QDir::current().relativeFilePath(path));
        // A folder is read whole: its files, told by their names.
        if (QFileInfo(path).isDir() && !current.has("recursive")) current.set_flag("recursive", true);
        if (std::find(current.sources.begin(), current.sources.end(), relative) == current.sources.end())
            current.sources.push_back(relative);
    }
    showJobOptions(current);
    watchInputs();
    jobChanged();
}

void StudioWindow::addSourceFiles()
{
    const QStringList files = dialogs_->sourceFiles(this, QDir::currentPath());
    if (!files.isEmpty()) addSources(files);
}

void StudioWindow::addSourceFolder()
{
    const QString folder = dialogs_->sourceFolder(this, QDir::currentPath());
    if (!folder.isEmpty()) addSources({folder});
}

void StudioWindow::removeSources()
{
    JobSettings* current = job();
    if (!current) return;
    std::vector<std::string> gone;
    for (const QModelIndex& index : sources_->selectionModel()->selectedRows())
        gone.push_back(utf8(sources_->item(index.row(), PathColumn)->data(Qt::UserRole).toString()));
    std::erase_if(current->sources, [&](const std::string& source) {
        return std::find(gone.begin(), gone.end(), source) != gone.end();
    });
    jobChanged();
}

// A source's format or encoding is the job's, for all its sources, as on a command line.
void StudioWindow::editSourceSetting(int row, int column)
{
    if (column != FormatColumn && column != EncodingColumn) return;
    const std::string key = column == FormatColumn ? "source-format" : "encoding";
    const std::string values = cli::allowed_values(cli::option_info("--" + key), language_);
    const QString chosen = dialogs_->text(this, qs(charlib::tr(language_, "Read the job's sources as")),
        qs(charlib::tr(language_, "{key} for every source of the job (one of: {values}):", {{"key", key}, {"values", values}})),
        sources_->item(row, column) ? sources_->item(row, column)->text() : QString());
    if (chosen.trimmed().isEmpty()) return;
    try {
        cli::checked_value("--" + key, utf8(chosen.trimmed()), language_);
    } catch (const cli::UsageError& error) {
        dialogs_->showError(this, qs(error.what()));
        return;
    }
    changeOption(qs(key), {chosen.trimmed()});
}

// ---- Looking at the current job ----

void StudioWindow::inspectSoon()
{
    inspectTimer_.start();
}

void StudioWindow::runInBackground(std::function<void()> work)
{
    std::erase_if(threads_, [](const QPointer<QThread>& thread) { return thread.isNull(); });
    QThread* thread = QThread::create(std::move(work));
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    threads_.emplace_back(thread);
    thread->start();
}

void StudioWindow::inspectNow()
{
    inspectTimer_.stop();
    const JobSettings* current = job();
    sources_->setRowCount(0);
    if (!current) {
        showNothing(charlib::tr(language_, "No job: add one, or drop files or a folder here"));
        return;
    }
    if (inspecting_) {
        // The look under way is out of date: it stops, and this one starts when it has.
        lookCancelled_->store(true);
        inspectAgain_ = true;
        return;
    }
    if (current->sources.empty()) {
        showNothing(charlib::tr(language_, "No sources: add files or a folder, or drop them here"));
        return;
    }
    cli::Plan plan;
    try {
        const std::variant<cli::Plan, cli::Answer> planned = cli::plan_of(args_of(*current), language_);
        if (!std::holds_alternative<cli::Plan>(planned)) return;
        plan = std::get<cli::Plan>(planned);
    } catch (const cli::UsageError& error) {
        // Said where the count would be: the job cannot be looked at until it is mended.
        showSummary(error.what());
        emit inspected();
        return;
    }
    for (const std::string& source : current->sources) {
        const int row = sources_->rowCount();
        sources_->insertRow(row);
        auto* path = new QTableWidgetItem(qs(source));
        path->setData(Qt::UserRole, qs(source));
        sources_->setItem(row, PathColumn, path);
        if (QFileInfo(qs(source)).isDir()) {
            // A folder: the files in it whose names it takes, listed below it as they are read.
            std::string globs;
            for (const char* key : {"glob", "iglob"})
                for (const std::string& glob : current->values(key))
                    globs += (globs.empty() ? "" : " ") + glob;
            sources_->setItem(row, FormatColumn, new QTableWidgetItem(qs(charlib::tr(language_, "folder"))));
            sources_->setItem(row, WhyColumn, new QTableWidgetItem(globs.empty()
                    ? qs(charlib::tr(language_, "the files of known formats, told by their names"))
                    : qs(charlib::tr(language_, "the files named {globs}", {{"globs", globs}}))));
            if (!current->has("recursive"))
                sources_->setItem(row, ErrorColumn, new QTableWidgetItem(qs(charlib::tr(language_,
                    "a folder is read only with recursive"))));
            continue;
        }
        sources_->setItem(row, ErrorColumn, new QTableWidgetItem(qs(charlib::tr(language_, "reading…"))));
    }
    const int generation = ++generation_;
    inspecting_ = true;
    lookCancelled_ = std::make_shared<std::atomic<bool>>(false);
    cancel_->setEnabled(true);
    progress_->setVisible(true);
    progress_->setRange(0, 0);
    showSummary(charlib::tr(language_, "Reading the sources…"));
    runInBackground([this, plan, generation, cancelled = lookCancelled_] {
        const auto post = [this, generation](auto shown) {
            QMetaObject::invokeMethod(this, [this, generation, shown] {
                if (generation == generation_) shown();
            }, Qt::QueuedConnection);
        };
        cli::Inspection asked;
        asked.cancelled = cancelled.get();
        asked.source_read = [post, this](const SourceReport& report) { post([this, report] { sourceRead(report); }); };
        auto last = std::make_shared<std::atomic<std::int64_t>>(0);
        asked.progress = [post, this, last](cli::Stage stage, std::uint64_t done, std::uint64_t total) {
            const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
            if (now - last->load() < 100 && done < total) return;  // ten a second are enough to see
            last->store(now);
            post([this, stage, done, total] { showProgress(stage, done, total); });
        };
        std::vector<QString> said;
        cli::Inspection found;
        {
            LineStream words([&said](const std::string& line) { said.push_back(qs(line)); });
            found = cli::inspect(plan, best_kernel(), words, std::move(asked));
        }
        found.source_read = {};
        found.progress = {};
        QMetaObject::invokeMethod(this, [this, generation, said, found = std::move(found)]() mutable {
            inspecting_ = false;
            if (generation == generation_) {
                looked_.clear();
                for (const QString& line : said)
                    looked_.push_back(withoutProgramName(line));
                showMessages();
                showInspection(std::move(found));
            }
            if (inspectAgain_) {
                inspectAgain_ = false;
                inspectNow();
            }
        }, Qt::QueuedConnection);
    });
}

void StudioWindow::sourceRead(const SourceReport& report)
{
    int row = -1;
    const QString path = qs(report.path.string());
    for (int i = 0; i < sources_->rowCount() && row < 0; ++i)
        if (sources_->item(i, PathColumn)->text() == path && !sources_->item(i, FormatColumn)) row = i;
    if (row < 0) {  // a file found in a folder
        row = sources_->rowCount();
        sources_->insertRow(row);
        auto* item = new QTableWidgetItem(path);
        sources_->setItem(row, PathColumn, item);
    }
    const auto set = [&](int column, const QString& text) { sources_->setItem(row, column, new QTableWidgetItem(text)); };
    set(FormatColumn, qs(report.text_format));
    if (report.error) {
        set(ErrorColumn, qs(cli::said(*report.error, language_)));
        sources_->item(row, ErrorColumn)->setForeground(Qt::red);
        return;
    }
    set(EncodingColumn, qs(encoding_name(report.encoding)));
    set(WhyColumn, report.encoding_reason ? qs(cli::reason_said(*report.encoding_reason, language_))
                                          : qs(charlib::tr(language_, "as the job's encoding option says")));
    sources_->item(row, WhyColumn)->setToolTip(sources_->item(row, WhyColumn)->text());
    set(LinesColumn, QString::number(report.facts.lines));
    const SourceFacts& facts = report.facts;
    set(InvalidColumn, facts.invalid == 0 || facts.first_invalid.empty()
            ? QString::number(facts.invalid)
            : qs(charlib::tr(language_, "{count}, the first at line {line}, byte {byte}",
                  {{"count", std::to_string(facts.invalid)}, {"line", std::to_string(facts.first_invalid.front().line)},
                      {"byte", std::to_string(facts.first_invalid.front().byte)}})));
    set(ErrorColumn, QString());
}

void StudioWindow::showSummary(const std::string& text)
{
    summary_->setText(qs(text));
    // Qt gives a label's text no name of its own that a screen reader reads: its description carries it.
    summary_->setAccessibleDescription(summary_->text());
}

void StudioWindow::showNothing(const std::string& why)
{
    showSummary(why);
    characters_->setCharacters({});
    coverage_->setCharacters({});
}

void StudioWindow::showProgress(cli::Stage stage, std::uint64_t done, std::uint64_t total)
{
    progress_->setVisible(true);
    // Bytes may pass what a progress bar counts: per mille.
    progress_->setRange(0, 1000);
    progress_->setValue(total == 0 ? 0 : static_cast<int>(done * 1000 / total));
    const std::string what = stage == cli::Stage::Reading ? charlib::tr(language_, "Reading")
        : stage == cli::Stage::Drawing                    ? charlib::tr(language_, "Drawing glyphs")
                                                          : charlib::tr(language_, "Compressing web pieces");
    progress_->setFormat(qs(what) + QStringLiteral(" %p%"));
}

void StudioWindow::showInspection(cli::Inspection found)
{
    inspection_ = std::move(found);
    if (!building_) {
        progress_->setVisible(false);
        cancel_->setEnabled(false);
    }
    std::vector<CharacterEntry> entries;
    const std::u32string& chosen = inspection_.chosen.characters;
    // Sorted, so that 20,000 characters against as many missing ones take no time.
    std::u32string missing = inspection_.font ? inspection_.font->missing + inspection_.font->blank : U"";
    std::sort(missing.begin(), missing.end());
    for (std::size_t i = 0; i < chosen.size(); ++i)
        entries.push_back({chosen[i], i < inspection_.chosen.counts.size() ? inspection_.chosen.counts[i] : 0,
            std::binary_search(missing.begin(), missing.end(), chosen[i])});
    // The cells are drawn in the job's font as Qt knows it.
    fontFamily_.clear();
    QString fontName;
    if (inspection_.font) {
        fontName = qs(inspection_.font->family);
        auto known = fontFamilies_.find(inspection_.font->path);
        if (known == fontFamilies_.end())
            known = fontFamilies_.emplace(inspection_.font->path,
                QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(qs(inspection_.font->path)))).first;
        const QStringList& families = known->second;
        fontFamily_ = families.contains(fontName) ? fontName : families.value(0);
    }
    characters_->setFontFamily(fontFamily_, fontName);
    characters_->setCharacters(std::move(entries));
    coverage_->setCharacters(chosen);

    std::string summary;
    if (!inspection_.complete && chosen.empty())
        summary = charlib::tr(language_, "Nothing to show: see the messages below");
    else if (inspection_.font)
        summary = trn(language_, "{count} character, {missing} missing from {family}",
            "{count} characters, {missing} missing from {family}", chosen.size(),
            {{"count", std::to_string(chosen.size())}, {"missing", std::to_string(inspection_.font->missing.size())},
                {"family", inspection_.font->family}});
    else
        summary = trn(language_, "{count} character", "{count} characters", chosen.size(),
            {{"count", std::to_string(chosen.size())}});
    showSummary(summary);

    std::vector<AtlasPage> pages;
    for (const auto& [name, png] : inspection_.atlas_pages)
        pages.push_back({qs(name), QByteArray(png.data(), static_cast<qsizetype>(png.size()))});
    const JobSettings* current = job();
    if (pages.empty())
        pages_->setMessage(current && current->has("atlas") ? qs(charlib::tr(language_, "No atlas: see the messages below"))
                                                            : qs(charlib::tr(language_, "Give the atlas a name (atlas) to make one")));
    else
        pages_->setPages(std::move(pages));
    std::vector<WebPieceRow> rows;
    for (const cli::InspectedPiece& piece : inspection_.web_pieces)
        rows.push_back({qs(piece.file), piece.characters, static_cast<qint64>(piece.bytes), piece.kept, piece.punctuation});
    pieces_->setPieces(std::move(rows));
    if (const char32_t selected = characters_->currentCharacter()) showPlaces(selected);
    emit inspected();
}

void StudioWindow::showFaces()
{
    faces_->clear();
    const JobSettings* current = job();
    if (!current || current->value("font").empty()) return;
    try {
        const std::vector<FaceName> faces = face_names_of(current->value("font"));
        for (std::size_t i = 0; i < faces.size(); ++i) {
            auto* item = new QListWidgetItem(qs(std::to_string(i) + "  " + cli::face_name(faces[i], language_)), faces_);
            item->setData(Qt::UserRole, QString::number(i));
        }
    } catch (const Failure& failure) {
        faces_->addItem(qs(cli::failure_words(failure, language_)));
    }
}

void StudioWindow::showPlaces(char32_t character)
{
    places_->clear();
    if (character == 0) return;
    places_->addItems(where_lines(character, inspection_.found, inspection_.places));
    if (places_->count() == 0)
        places_->addItem(qs(charlib::tr(language_, "No place: the character is added by the job, not read")));
}

void StudioWindow::copyPlaces()
{
    QStringList lines;
    for (const QListWidgetItem* item : places_->selectedItems())
        lines.push_back(item->text());
    if (lines.isEmpty())
        for (int i = 0; i < places_->count(); ++i)
            lines.push_back(places_->item(i)->text());
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

// ---- Building ----

void StudioWindow::buildCurrent()
{
    if (const JobSettings* current = job()) startBuild({current->name});
}

void StudioWindow::buildAll()
{
    if (!project_.jobs.empty()) startBuild({});
}

void StudioWindow::startBuild(const std::vector<std::string>& jobs)
{
    if (building_) return;
    // charlib-cli build builds the project file: what is built is what is saved.
    if ((isWindowModified() || project_.path.empty()) && !save()) return;
    std::vector<std::string> args{project_.path.string()};
    args.insert(args.end(), jobs.begin(), jobs.end());
    building_ = true;
    build_->setEnabled(false);
    buildAction_->setEnabled(false);
    cancel_->setEnabled(true);
    progress_->setVisible(true);
    progress_->setRange(0, 0);
    progress_->setFormat(qs(charlib::tr(language_, "Building…")));
    said_.clear();
    buildCancelled_ = std::make_shared<std::atomic<bool>>(false);
    say(qs(charlib::tr(language_, "Building…")));
    runInBackground([this, args, cancelled = buildCancelled_] {
        const auto post = [this](auto shown) { QMetaObject::invokeMethod(this, shown, Qt::QueuedConnection); };
        int status = 0;
        {
            LineStream words([post, this](const std::string& line) { post([this, line] { say(qs(line)); }); });
            cli::BuildFollower follower{words,
                [post, this](std::size_t done, std::size_t total) {
                    post([this, done, total] {
                        progress_->setRange(0, static_cast<int>(total));
                        progress_->setValue(static_cast<int>(done));
                        progress_->setFormat(qs(charlib::tr(language_, "Built {done} / {total} jobs",
                            {{"done", std::to_string(done)}, {"total", std::to_string(total)}})));
                    });
                },
                cancelled.get()};
            status = cli::build(args, language_, best_kernel(), follower);
        }
        post([this, status] {
            building_ = false;
            build_->setEnabled(true);
            buildAction_->setEnabled(true);
            cancel_->setEnabled(inspecting_);
            progress_->setVisible(inspecting_);
            say(status == 0 ? qs(charlib::tr(language_, "Built.")) : qs(charlib::tr(language_, "The build failed: see above.")));
            inspectNow();
            emit built(status);
        });
    });
}

void StudioWindow::cancel()
{
    if (buildCancelled_) buildCancelled_->store(true);
    if (inspecting_) {
        lookCancelled_->store(true);
        inspectAgain_ = false;
        ++generation_;  // what it found so far is dropped
        say(qs(charlib::tr(language_, "Cancelled")));
        showSummary(charlib::tr(language_, "Cancelled"));
        if (!building_) {
            progress_->setVisible(false);
            cancel_->setEnabled(false);
        }
    }
}

// What a change rebuilds: what the jobs read, not their outputs. The project is the window's own.
void StudioWindow::watchInputs()
{
    if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    if (!watch_ || !watch_->isChecked() || project_.jobs.empty()) return;
    QStringList paths;
    for (const auto& [input, stamp] : inputStamps(&paths))
        paths.push_back(qs(input));
    paths.removeDuplicates();
    watcher_.addPaths(paths);
    stamps_ = inputStamps();
}

// Each file the jobs read, with its size and time; `folders` gains the folders they read.
// Their outputs, and names beginning with a dot (the build's state, files being written), are not inputs.
std::map<std::string, std::pair<qint64, qint64>> StudioWindow::inputStamps(QStringList* folders) const
{
    std::vector<std::string> outputs, output_prefixes;
    for (const JobSettings& each : project_.jobs) {
        for (const char* key : {"output", "subset", "preview"})
            if (!each.value(key).empty()) outputs.push_back(std::filesystem::path(each.value(key)).lexically_normal().string());
        if (!each.value("atlas").empty())
            output_prefixes.push_back(std::filesystem::path(each.value("atlas")).lexically_normal().string());
        if (!each.value("web").empty())
            output_prefixes.push_back(std::filesystem::path(each.value("web")).lexically_normal().string() + "/");
    }
    const auto is_output = [&](const std::filesystem::path& path) {
        const std::string name = path.lexically_normal().string();
        if (path.filename().string().starts_with('.')) return true;
        if (std::find(outputs.begin(), outputs.end(), name) != outputs.end()) return true;
        return std::any_of(output_prefixes.begin(), output_prefixes.end(),
            [&](const std::string& prefix) { return name.starts_with(prefix); });
    };
    std::map<std::string, std::pair<qint64, qint64>> stamps;
    const auto add = [&](const std::filesystem::path& path) {
        const QFileInfo file(qs(path.string()));
        if (!is_output(path)) stamps[path.lexically_normal().string()] = {file.size(), file.lastModified().toMSecsSinceEpoch()};
    };
    for (const JobSettings& each : project_.jobs) {
        std::vector<std::string> inputs = each.sources;
        for (const char* key : {"font", "exclude", "add-file"})
            for (const std::string& path : each.values(key))
                inputs.push_back(path);
        for (const std::string& input : inputs) {
            std::error_code error;
            if (!std::filesystem::is_directory(input, error)) {
                add(input);
                continue;
            }
            if (folders) folders->push_back(qs(input));
            for (auto walk = std::filesystem::recursive_directory_iterator(input, error);
                 !error && walk != std::filesystem::recursive_directory_iterator(); walk.increment(error)) {
                if (is_output(walk->path())) {
                    if (walk->is_directory(error)) walk.disable_recursion_pending();
                } else if (walk->is_directory(error)) {
                    if (folders) folders->push_back(qs(walk->path().string()));
                } else {
                    add(walk->path());
                }
            }
        }
    }
    return stamps;
}

void StudioWindow::inputChanged()
{
    if (building_) {
        watchTimer_.start();  // once this build ends
        return;
    }
    const auto before = stamps_;
    watchInputs();  // new files and folders are watched too; an editor that saves by renaming leaves a new file
    // A folder changes when a build writes its outputs into it: only a change to an input counts.
    if (stamps_ == before) return;
    say(qs(charlib::tr(language_, "An input changed: building again")));
    buildAll();  // as charlib-cli build --watch: what did not change is not built
}

// The words are charlib-cli's; the program's name before each is not needed here.
QString StudioWindow::withoutProgramName(const QString& line)
{
    return line.startsWith(QLatin1String("charlib-cli: ")) ? line.mid(13) : line;
}

void StudioWindow::say(const QString& line)
{
    said_.push_back(withoutProgramName(line));
    if (said_.size() > 2000) said_.removeFirst();  // a long watch keeps its last words
    showMessages();
}

// What the user did and the last build said, then what the last look at the job said.
void StudioWindow::showMessages()
{
    messages_->setPlainText((said_ + looked_).join(QLatin1Char('\n')));
    messages_->moveCursor(QTextCursor::End);
}

}  // namespace charlib::studio
