#include "studio/output_views.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>

#include "messages/catalog.h"
#include "qt_text.h"
#include "messages/words.h"

namespace charlib::studio {

namespace {

// Whole powers of two, so that a zoomed-in pixel is always the same number of screen pixels.
constexpr std::array zoomSteps{0.25, 0.5, 1.0, 2.0, 4.0, 8.0};
constexpr double tolerance = 1e-9;

// The next zoom step above or below `zoom`; `zoom` itself at either end.
double stepAbove(double zoom)
{
    const auto step = std::find_if(
        zoomSteps.begin(), zoomSteps.end(), [zoom](double each) { return each > zoom + tolerance; });
    return step != zoomSteps.end() ? *step : zoom;
}

double stepBelow(double zoom)
{
    const auto step = std::find_if(
        zoomSteps.rbegin(), zoomSteps.rend(), [zoom](double each) { return each < zoom - tolerance; });
    return step != zoomSteps.rend() ? *step : zoom;
}

}  // namespace

// The decoded page at the zoom, over a dark checkerboard: the pages are white
// glyphs, mostly on transparency.
class PageCanvas : public QWidget {
public:
    explicit PageCanvas(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("atlasPageCanvas"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        QImage tile(16, 16, QImage::Format_RGB32);
        tile.fill(QColor(0x30, 0x30, 0x30));
        QPainter painter(&tile);
        painter.fillRect(0, 0, 8, 8, QColor(0x48, 0x48, 0x48));
        painter.fillRect(8, 8, 8, 8, QColor(0x48, 0x48, 0x48));
        checkerboard_ = QBrush(tile);
    }

    void showImage(const QImage& image, double zoom)
    {
        image_ = image;
        zoom_ = zoom;
        resize(std::max(1, qRound(image.width() * zoom)), std::max(1, qRound(image.height() * zoom)));
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.fillRect(event->rect(), checkerboard_);
        // Smooth only when shrinking: zoomed in, each pixel of the page stays a sharp square.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1.0);
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(size())), image_);
    }

private:
    QImage image_;
    double zoom_ = 1.0;
    QBrush checkerboard_;
};

AtlasPagesView::AtlasPagesView(Language language, QWidget* parent) : QWidget(parent), language_(language)
{
    setObjectName(QStringLiteral("atlasPagesView"));
    setAccessibleName(qs(charlib::tr(language, "Atlas pages")));

    chooser_ = new QComboBox(this);
    chooser_->setObjectName(QStringLiteral("atlasPageChooser"));
    chooser_->setAccessibleName(qs(charlib::tr(language, "Page")));
    connect(chooser_, &QComboBox::activated, this, &AtlasPagesView::showPage);

    const auto makeAction = [this](const char* name, const std::string& text, QList<QKeySequence> keys) {
        auto* action = new QAction(qs(text), this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
        return action;
    };
    zoomInAction_ = makeAction("atlasZoomIn", charlib::tr(language, "Zoom in"),
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    zoomOutAction_ = makeAction(
        "atlasZoomOut", charlib::tr(language, "Zoom out"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    actualSizeAction_ = makeAction(
        "atlasActualSize", charlib::tr(language, "Actual size"), {QKeySequence(Qt::CTRL | Qt::Key_0)});
    fitAction_ = makeAction("atlasFit", charlib::tr(language, "Fit"), {});
    connect(zoomInAction_, &QAction::triggered, this, &AtlasPagesView::zoomIn);
    connect(zoomOutAction_, &QAction::triggered, this, &AtlasPagesView::zoomOut);
    connect(actualSizeAction_, &QAction::triggered, this, &AtlasPagesView::zoomToActualSize);
    connect(fitAction_, &QAction::triggered, this, &AtlasPagesView::zoomToFit);

    zoomLabel_ = new QLabel(this);
    zoomLabel_->setObjectName(QStringLiteral("atlasZoom"));
    zoomLabel_->setAccessibleName(qs(charlib::tr(language, "Zoom")));

    auto* controls = new QHBoxLayout;
    controls->addWidget(chooser_);
    controls->addStretch();
    for (QAction* action : {zoomOutAction_, zoomInAction_, actualSizeAction_, fitAction_}) {
        auto* button = new QToolButton(this);
        button->setObjectName(action->objectName() + QLatin1String("Button"));
        button->setDefaultAction(action);
        button->setAccessibleName(action->text());
        button->setFocusPolicy(Qt::StrongFocus);
        if (!action->shortcuts().isEmpty())
            action->setToolTip(action->text() + QLatin1String(" (") +
                action->shortcuts().front().toString(QKeySequence::NativeText) + QLatin1Char(')'));
        controls->addWidget(button);
        if (action == zoomInAction_) controls->addWidget(zoomLabel_);
    }

    canvas_ = new PageCanvas(this);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("atlasPageScroll"));
    scroll_->setAccessibleName(qs(charlib::tr(language, "Page picture")));
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setWidget(canvas_);
    scroll_->viewport()->installEventFilter(this);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("atlasMessage"));
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    stack_ = new QStackedWidget(this);
    stack_->addWidget(scroll_);
    stack_->addWidget(message_);

    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("atlasPageInfo"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(controls);
    layout->addWidget(stack_, 1);
    layout->addWidget(info_);
    setMessage(qs(charlib::tr(language, "The atlas has no pages")));
}

void AtlasPagesView::setPages(std::vector<AtlasPage> pages)
{
    const QString shownName = current_ < static_cast<int>(pages_.size()) ? pages_[current_].name : QString();
    pages_ = std::move(pages);
    const auto same = std::find_if(
        pages_.begin(), pages_.end(), [&](const AtlasPage& page) { return page.name == shownName; });
    current_ = same != pages_.end()
        ? static_cast<int>(same - pages_.begin())
        : std::clamp(current_, 0, std::max(0, static_cast<int>(pages_.size()) - 1));
    chooser_->clear();
    for (const AtlasPage& page : pages_)
        chooser_->addItem(page.name);
    if (pages_.empty()) {
        setMessage(qs(charlib::tr(language_, "The atlas has no pages")));
        return;
    }
    showCurrentPage();
}

void AtlasPagesView::setMessage(const QString& text)
{
    image_ = QImage();
    message_->setText(text);
    stack_->setCurrentWidget(message_);
    info_->clear();
    chooser_->hide();
    updateControls();
}

void AtlasPagesView::showPage(int index)
{
    if (index < 0 || index >= static_cast<int>(pages_.size())) return;
    current_ = index;
    showCurrentPage();
}

void AtlasPagesView::showCurrentPage()
{
    const AtlasPage& page = pages_[current_];
    chooser_->setVisible(pages_.size() > 1);
    chooser_->setCurrentIndex(current_);
    image_ = QImage::fromData(page.png, "PNG");
    if (image_.isNull()) {
        message_->setText(
            qs(charlib::tr(language_, "“{name}” cannot be shown: it is not a PNG picture that can be read",
                {{"name", page.name.toStdString()}})));
        stack_->setCurrentWidget(message_);
        info_->clear();
    } else {
        image_ = image_.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        canvas_->showImage(image_, zoom_);
        stack_->setCurrentWidget(scroll_);
        const std::string name = page.name.toStdString(), width = std::to_string(image_.width()),
                          height = std::to_string(image_.height());
        info_->setText(pages_.size() == 1
                ? qs(charlib::tr(language_, "{name}: {width} × {height}",
                      {{"name", name}, {"width", width}, {"height", height}}))
                : qs(charlib::tr(language_, "{name}: {width} × {height}, page {page} of {pages}",
                      {{"name", name}, {"width", width}, {"height", height},
                          {"page", std::to_string(current_ + 1)},
                          {"pages", std::to_string(pages_.size())}})));
    }
    updateControls();
}

void AtlasPagesView::zoomIn()
{
    setZoom(stepAbove(zoom_), scroll_->viewport()->rect().center());
}

void AtlasPagesView::zoomOut()
{
    setZoom(stepBelow(zoom_), scroll_->viewport()->rect().center());
}

void AtlasPagesView::zoomToActualSize()
{
    setZoom(1.0, scroll_->viewport()->rect().center());
}

void AtlasPagesView::zoomToFit()
{
    if (image_.isNull()) return;
    const QSize room = scroll_->maximumViewportSize();
    double fit = std::min(double(room.width()) / image_.width(), double(room.height()) / image_.height());
    // Enlarged by a whole number, so that pixels stay squares of one size.
    if (fit > 1.0) fit = std::floor(fit);
    setZoom(std::clamp(fit, zoomSteps.front(), zoomSteps.back()), scroll_->viewport()->rect().center());
}

void AtlasPagesView::setZoom(double zoom, QPoint anchor)
{
    if (std::abs(zoom - zoom_) < tolerance) return;
    const QPointF pixel = QPointF(canvas_->mapFrom(scroll_->viewport(), anchor)) / zoom_;
    zoom_ = zoom;
    updateControls();
    if (image_.isNull()) return;
    canvas_->showImage(image_, zoom_);
    scroll_->horizontalScrollBar()->setValue(qRound(pixel.x() * zoom_ - anchor.x()));
    scroll_->verticalScrollBar()->setValue(qRound(pixel.y() * zoom_ - anchor.y()));
}

void AtlasPagesView::updateControls()
{
    const bool picture = !image_.isNull();
    zoomInAction_->setEnabled(picture && zoom_ < zoomSteps.back() - tolerance);
    zoomOutAction_->setEnabled(picture && zoom_ > zoomSteps.front() + tolerance);
    actualSizeAction_->setEnabled(picture);
    fitAction_->setEnabled(picture);
    zoomLabel_->setText(QString::number(qRound(zoom_ * 100)) + QLatin1Char('%'));
}

bool AtlasPagesView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scroll_->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const int delta = wheel->angleDelta().y();
            if (!image_.isNull() && delta != 0)
                setZoom(delta > 0 ? stepAbove(zoom_) : stepBelow(zoom_), wheel->position().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

enum Column { FileColumn, CharactersColumn, BytesColumn, StateColumn, ColumnCount };
constexpr int sortRole = Qt::UserRole;
constexpr int allCharactersRole = Qt::UserRole + 1;
// How many of a piece's characters its row shows.
constexpr std::size_t charactersShown = 12;

}  // namespace

WebPiecesTable::WebPiecesTable(Language language, QWidget* parent) : QWidget(parent), language_(language)
{
    setObjectName(QStringLiteral("webPiecesTable"));
    model_ = new QStandardItemModel(0, ColumnCount, this);
    model_->setSortRole(sortRole);
    model_->setHorizontalHeaderLabels(
        {qs(charlib::tr(language, "File")), qs(charlib::tr(language, "Characters")),
            qs(charlib::tr(language, "Bytes")), qs(charlib::tr(language, "State"))});

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("webPieces"));
    table_->setAccessibleName(qs(charlib::tr(language, "Web pieces")));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSortingEnabled(true);
    table_->sortByColumn(
        -1, Qt::AscendingOrder);  // in the order the pieces were cut until a header is clicked
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(CharactersColumn, QHeaderView::Stretch);
    table_->installEventFilter(this);

    auto* copy = new QAction(qs(charlib::tr(language, "Copy")), table_);
    copy->setShortcut(QKeySequence::Copy);
    // Only shown in the menu: the key itself is taken in eventFilter, before a window's own Ctrl+C.
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &WebPiecesTable::copySelection);
    table_->addAction(copy);
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);

    total_ = new QLabel(this);
    total_->setObjectName(QStringLiteral("webPiecesTotal"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_, 1);
    layout->addWidget(total_);
    setPieces({});
}

void WebPiecesTable::setPieces(std::vector<WebPieceRow> rows)
{
    model_->removeRows(0, model_->rowCount());
    qint64 bytes = 0;
    std::uint64_t fresh = 0;
    for (const WebPieceRow& row : rows) {
        const auto count = static_cast<std::uint64_t>(row.characters.size());
        QString shown = qs(std::u32string_view(row.characters).substr(0, charactersShown));
        if (row.characters.size() > charactersShown) shown += QStringLiteral("…");
        const char* state = row.punctuation ? (row.kept ? N_("kept, punctuation") : N_("new, punctuation"))
                                            : (row.kept ? N_("kept") : N_("new"));

        auto* file = new QStandardItem(row.file);
        file->setData(row.file, sortRole);
        file->setData(qs(std::u32string_view(row.characters)), allCharactersRole);
        auto* characters = new QStandardItem(qs(
            charlib::trn(language_, "{count} character: {characters}", "{count} characters: {characters}",
                count, {{"count", grouped(count)}, {"characters", shown.toStdString()}})));
        characters->setData(static_cast<qulonglong>(count), sortRole);
        auto* size = new QStandardItem(qs(grouped(static_cast<std::uint64_t>(row.bytes))));
        size->setData(row.bytes, sortRole);
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const std::string_view stateWords = translate(language_, state);
        const QString stateText =
            QString::fromUtf8(stateWords.data(), static_cast<qsizetype>(stateWords.size()));
        auto* kept = new QStandardItem(stateText);
        kept->setData(stateText, sortRole);
        model_->appendRow({file, characters, size, kept});

        bytes += row.bytes;
        fresh += !row.kept;
    }
    table_->resizeColumnToContents(FileColumn);
    table_->resizeColumnToContents(BytesColumn);

    const auto pieces = static_cast<std::uint64_t>(rows.size());
    total_->setText(qs(charlib::tr(language_, "{pieces}, {bytes}; {new} new",
        {{"pieces",
             charlib::trn(
                 language_, "{count} piece", "{count} pieces", pieces, {{"count", grouped(pieces)}})},
            {"bytes",
                charlib::trn(language_, "{count} byte", "{count} bytes", static_cast<std::uint64_t>(bytes),
                    {{"count", grouped(static_cast<std::uint64_t>(bytes))}})},
            {"new", grouped(fresh)}})));
}

bool WebPiecesTable::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == table_ &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();  // the key comes to the table, not to a shortcut of the window
            return true;
        }
        copySelection();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void WebPiecesTable::copySelection()
{
    QModelIndexList rows = table_->selectionModel()->selectedRows(FileColumn);
    std::sort(rows.begin(), rows.end(),
        [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& index : rows)
        lines << index.data().toString() + QLatin1Char('\t') + index.data(allCharactersRole).toString();
    if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

}  // namespace charlib::studio
