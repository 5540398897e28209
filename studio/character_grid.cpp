#include "studio/character_grid.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

#include "messages/catalog.h"
#include "qt_text.h"
#include "codec/utf.h"
#include "output/output.h"

namespace charlib::studio {

namespace {

constexpr int glyphPixels = 28;
constexpr int cellPixels = 48;
const QColor missingColour(0xd0, 0x30, 0x2f);

std::string number(std::uint64_t n)
{
    return std::to_string(n);
}

// A square for the legends, of the colour of the cells or segments it names.
QString swatch(const QColor& colour)
{
    return QStringLiteral("<span style=\"color:%1\">&#9632;</span>&nbsp;").arg(colour.name());
}

}  // namespace

QString characterCode(char32_t character)
{
    return qs(code_point_name(character));
}

bool shownByCode(char32_t character)
{
    if (character > 0x10FFFF) return true;
    switch (QChar::category(character)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return true;
    default: return false;
    }
}

// ---- the model

CharacterModel::CharacterModel(Language language, QObject* parent) :
    QAbstractListModel(parent),
    language_(language)
{
}

void CharacterModel::setCharacters(std::vector<CharacterEntry> entries)
{
    beginResetModel();
    entries_ = std::move(entries);
    missing_ = static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const CharacterEntry& e) { return e.missing; }));
    endResetModel();
}

void CharacterModel::setFontName(const QString& fontName)
{
    fontName_ = fontName;
    if (!entries_.empty()) emit dataChanged(index(0), index(rowCount() - 1));
}

int CharacterModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QString CharacterModel::missingText() const
{
    if (fontName_.isEmpty()) return qs(charlib::tr(language_, "missing from the font"));
    return qs(charlib::tr(language_, "missing from {font}", {{"font", fontName_.toStdString()}}));
}

QString CharacterModel::countText(std::uint64_t count) const
{
    // A count of 0 is a character added to the set that no source holds.
    if (count == 0) return qs(charlib::tr(language_, "added, not in the sources"));
    return qs(charlib::trn(
        language_, "used {count} time", "used {count} times", count, {{"count", number(count)}}));
}

QVariant CharacterModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const CharacterEntry& entry = entries_[static_cast<std::size_t>(index.row())];
    const bool byCode = shownByCode(entry.character);
    const QString named = byCode ? characterCode(entry.character)
                                 : qs(std::u32string_view(&entry.character, 1)) + u' ' + characterCode(entry.character);
    switch (role) {
    case Qt::DisplayRole: {
        if (byCode) return characterCode(entry.character);
        // A combining mark is shown on a dotted circle, as the Unicode charts do.
        const auto category = QChar::category(entry.character);
        const bool mark = category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
            category == QChar::Mark_Enclosing;
        return mark ? QStringLiteral("\u25CC") + qs(std::u32string_view(&entry.character, 1))
                    : qs(std::u32string_view(&entry.character, 1));
    }
    case Qt::AccessibleTextRole: return named;
    case Qt::AccessibleDescriptionRole: return entry.missing ? missingText() : countText(entry.count);
    case Qt::ToolTipRole: {
        QString tip = named + u'\n' + countText(entry.count);
        if (entry.missing) tip += u'\n' + missingText();
        return tip;
    }
    case CharacterRole: return static_cast<uint>(entry.character);
    case CountRole: return static_cast<qulonglong>(entry.count);
    case MissingRole: return entry.missing;
    case ShownByCodeRole: return byCode;
    default: return {};
    }
}

// ---- the filter

// Keeps the characters of the text typed, and those named by a code: "U+5B57"
// is only a code, "5B57" its four characters and a code.
class CharacterFilter : public QSortFilterProxyModel {
public:
    CharacterFilter(CharacterModel* characters, QObject* parent) :
        QSortFilterProxyModel(parent),
        characters_(characters)
    {
        setSourceModel(characters);
    }

    void setSought(const QString& text, bool missingOnly)
    {
        static const QRegularExpression code(
            QStringLiteral("^(U\\+)?([0-9A-F]{1,6})$"), QRegularExpression::CaseInsensitiveOption);
        sought_.clear();
        const QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        for (const QString& word : words) {
            const QRegularExpressionMatch match = code.match(word);
            const bool marked = match.hasMatch() && !match.captured(1).isEmpty();
            if (match.hasMatch() && (marked || match.capturedLength(2) >= 4)) {
                const uint value = match.captured(2).toUInt(nullptr, 16);
                if (value <= 0x10FFFF) sought_.push_back(value);
            }
            if (!marked)
                for (const char32_t c : word.toUcs4())
                    sought_.push_back(c);
        }
        std::sort(sought_.begin(), sought_.end());
        any_ = words.isEmpty();
        missingOnly_ = missingOnly;
        invalidateFilter();
    }

    bool filtering() const { return !any_ || missingOnly_; }

protected:
    bool filterAcceptsRow(int row, const QModelIndex&) const override
    {
        const CharacterEntry& entry = characters_->entries()[static_cast<std::size_t>(row)];
        if (missingOnly_ && !entry.missing) return false;
        return any_ || std::binary_search(sought_.begin(), sought_.end(), entry.character);
    }

private:
    const CharacterModel* characters_;
    std::vector<char32_t> sought_;
    bool any_ = true;
    bool missingOnly_ = false;
};

// ---- the cells

// Draws each cell: the glyph in the job's font (never borrowed from another
// font), or in the fallback font with a red frame and corner when the job's
// font lacks it, or the code of a character that has no visible glyph.
class CharacterDelegate : public QStyledItemDelegate {
public:
    explicit CharacterDelegate(QObject* parent) : QStyledItemDelegate(parent)
    {
        fallbackFont_ = QApplication::font();
        fallbackFont_.setPixelSize(glyphPixels);
        glyphFont_ = fallbackFont_;
        codeFont_ = QApplication::font();
        codeFont_.setPixelSize(10);
    }

    void setFamily(const QString& family)
    {
        glyphFont_ = fallbackFont_;
        if (family.isEmpty()) return;
        glyphFont_.setFamilies({family});
        glyphFont_.setStyleStrategy(QFont::NoFontMerging);
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return {cellPixels, cellPixels};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QString text = cell.text;
        cell.text.clear();
        cell.showDecorationSelected = true;  // the whole cell highlighted, not a text-sized strip
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

        const bool missing = index.data(CharacterModel::MissingRole).toBool();
        const bool byCode = index.data(CharacterModel::ShownByCodeRole).toBool();
        const QRect box = option.rect.adjusted(2, 2, -2, -2);
        painter->save();
        painter->setPen(option.palette.color(
            option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(byCode ? codeFont_ : missing ? fallbackFont_ : glyphFont_);
        painter->drawText(box, int(Qt::AlignCenter) | (byCode ? int(Qt::TextWrapAnywhere) : 0), text);
        if (missing) {
            painter->setPen(QPen(missingColour, 2));
            painter->drawRect(box.adjusted(1, 1, -1, -1));
            QPainterPath corner;
            corner.moveTo(box.topRight() - QPoint(10, 0));
            corner.lineTo(box.topRight());
            corner.lineTo(box.topRight() + QPoint(0, 10));
            corner.closeSubpath();
            painter->fillPath(corner, missingColour);
        }
        painter->restore();
    }

private:
    QFont glyphFont_, fallbackFont_, codeFont_;
};

// ---- the grid

CharacterGrid::CharacterGrid(Language language, QWidget* parent) :
    QWidget(parent),
    language_(language),
    model_(new CharacterModel(language, this)),
    proxy_(new CharacterFilter(model_, this)),
    delegate_(new CharacterDelegate(this)),
    filter_(new QLineEdit(this)),
    missingOnly_(new QCheckBox(qs(charlib::tr(language, "&Missing only")), this)),
    view_(new QListView(this)),
    shown_(new QLabel(this)),
    legend_(new QLabel(this))
{
    setObjectName(QStringLiteral("CharacterGrid"));

    auto* filterLabel = new QLabel(qs(charlib::tr(language, "Fi&lter:")), this);
    filterLabel->setObjectName(QStringLiteral("CharacterFilterLabel"));
    filterLabel->setBuddy(filter_);
    filter_->setObjectName(QStringLiteral("CharacterFilter"));
    filter_->setAccessibleName(qs(charlib::tr(language, "Filter")));
    filter_->setPlaceholderText(qs(charlib::tr(language, "Characters to find, or a code such as U+5B57")));
    filter_->setClearButtonEnabled(true);
    missingOnly_->setObjectName(QStringLiteral("MissingOnly"));
    missingOnly_->setAccessibleName(qs(charlib::tr(language, "Missing only")));

    // Found by this name in either language.
    view_->setObjectName(QStringLiteral("Characters"));
    view_->setAccessibleName(QStringLiteral("Characters"));
    view_->setViewMode(QListView::IconMode);
    view_->setMovement(QListView::Static);
    view_->setResizeMode(QListView::Adjust);
    view_->setUniformItemSizes(true);
    view_->setGridSize({cellPixels, cellPixels});
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setItemDelegate(delegate_);
    view_->setModel(proxy_);

    shown_->setObjectName(QStringLiteral("CharactersShown"));
    legend_->setObjectName(QStringLiteral("MissingLegend"));
    legend_->setTextFormat(Qt::RichText);
    legend_->setWordWrap(true);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filter_, 1);
    filterRow->addWidget(missingOnly_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(filterRow);
    layout->addWidget(view_, 1);
    layout->addWidget(shown_);
    layout->addWidget(legend_);
    setTabOrder(filter_, missingOnly_);
    setTabOrder(missingOnly_, view_);

    connect(filter_, &QLineEdit::textChanged, this, &CharacterGrid::filterChanged);
    connect(missingOnly_, &QCheckBox::toggled, this, &CharacterGrid::filterChanged);
    connect(
        view_->selectionModel(), &QItemSelectionModel::currentChanged, this, &CharacterGrid::currentMoved);
    updateTexts();
}

void CharacterGrid::setCharacters(std::vector<CharacterEntry> entries)
{
    const char32_t before = currentCharacter();
    model_->setCharacters(std::move(entries));
    if (before != 0) {
        const auto& now = model_->entries();
        const auto found = std::find_if(
            now.begin(), now.end(), [before](const CharacterEntry& e) { return e.character == before; });
        const QModelIndex shown = found == now.end()
            ? QModelIndex()
            : proxy_->mapFromSource(model_->index(int(found - now.begin())));
        // Still current: not a new selection, so currentMoved stays quiet.
        if (shown.isValid())
            view_->selectionModel()->setCurrentIndex(shown, QItemSelectionModel::ClearAndSelect);
    }
    if (currentCharacter() == 0) lastSelected_ = 0;
    updateTexts();
}

void CharacterGrid::setFontFamily(const QString& family, const QString& fontName)
{
    delegate_->setFamily(family);
    model_->setFontName(fontName.isEmpty() ? family : fontName);
    view_->viewport()->update();
    updateTexts();
}

char32_t CharacterGrid::currentCharacter() const
{
    const QModelIndex current = view_->currentIndex();
    return current.isValid() ? static_cast<char32_t>(current.data(CharacterModel::CharacterRole).toUInt())
                             : 0;
}

void CharacterGrid::currentMoved(const QModelIndex& current)
{
    if (!current.isValid()) {
        lastSelected_ = 0;
        return;
    }
    const auto character = static_cast<char32_t>(current.data(CharacterModel::CharacterRole).toUInt());
    if (character == lastSelected_) return;
    lastSelected_ = character;
    emit characterSelected(character);
}

void CharacterGrid::filterChanged()
{
    proxy_->setSought(filter_->text(), missingOnly_->isChecked());
    updateTexts();
}

void CharacterGrid::updateTexts()
{
    const auto all = static_cast<std::uint64_t>(model_->rowCount());
    if (proxy_->filtering())
        shown_->setText(qs(charlib::trn(language_, "{shown} of {count} character shown",
            "{shown} of {count} characters shown", all,
            {{"shown", number(static_cast<std::uint64_t>(proxy_->rowCount()))}, {"count", number(all)}})));
    else
        shown_->setText(qs(charlib::trn(language_, "{count} distinct character",
            "{count} distinct characters", all, {{"count", number(all)}})));
    const std::size_t missing = model_->missingCount();
    legend_->setVisible(missing != 0);
    if (missing != 0)
        legend_->setText(swatch(missingColour) +
            qs(charlib::trn(language_,
                   "{missing}: {count} character, framed in red and drawn in another font",
                   "{missing}: {count} characters, framed in red and drawn in another font", missing,
                   {{"count", number(missing)}, {"missing", model_->missingText().toStdString()}}))
                .toHtmlEscaped());
}

// ---- the coverage bar

namespace {
constexpr int barPixels = 14;
constexpr int leastSegmentPixels = 3;  // one character among thousands stays visible
}  // namespace

CoverageBar::CoverageBar(Language language, QWidget* parent) :
    QWidget(parent),
    language_(language),
    legend_(new QLabel(this))
{
    setObjectName(QStringLiteral("CoverageBar"));
    setAccessibleName(qs(charlib::tr(language, "Coverage of code page 936")));
    legend_->setObjectName(QStringLiteral("CoverageLegend"));
    legend_->setTextFormat(Qt::RichText);
    legend_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, barPixels + 4, 0, 0);
    layout->addWidget(legend_);
    setCharacters({});
}

void CoverageBar::setCharacters(std::u32string_view characters)
{
    const Coverage found = coverage(characters);
    const Language l = language_;
    segments_ = {
        {qs(charlib::tr(l, "GB2312 level 1")), found.level1, QColor(0x2e, 0x7d, 0x32)},
        {qs(charlib::tr(l, "GB2312 level 2")), found.level2, QColor(0x81, 0xc7, 0x84)},
        {qs(charlib::tr(l, "other GB2312 and single-byte")), found.gb2312_other + found.single_byte,
            QColor(0x1e, 0x88, 0xe5)},
        {qs(charlib::tr(l, "GBK beyond GB2312")), found.beyond_gb2312, QColor(0xfb, 0x8c, 0x00)},
        {qs(charlib::tr(l, "outside code page 936")), found.outside.size(), QColor(0x8e, 0x24, 0xaa)},
    };

    QStringList legend;
    for (const Segment& segment : segments_)
        legend << QStringLiteral("<td>%1</td>")
                      .arg(swatch(segment.colour) +
                          qs(charlib::tr(l, "{name}: {count}",
                                 {{"name", segment.name.toStdString()}, {"count", number(segment.count)}}))
                              .toHtmlEscaped());
    // A table, so that a narrow panel wraps an entry in its own cell rather
    // than parting a name from its number.
    legend_->setText(QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\"><tr>%1</tr></table>")
                         .arg(legend.join(QString())));

    const QStringList said = {
        qs(charlib::trn(l, "{count} character", "{count} characters", characters.size(),
            {{"count", number(characters.size())}})),
        qs(charlib::tr(l, "GB2312 level 1 hanzi: {count} of {total}",
            {{"count", number(found.level1)}, {"total", number(found.level1_size)}})),
        qs(charlib::tr(l, "GB2312 level 2 hanzi: {count} of {total}",
            {{"count", number(found.level2)}, {"total", number(found.level2_size)}})),
        qs(charlib::tr(l, "other GB2312 characters: {count}; single-byte characters: {single}",
            {{"count", number(found.gb2312_other)}, {"single", number(found.single_byte)}})),
        qs(charlib::tr(l, "in GBK beyond GB2312: {count}", {{"count", number(found.beyond_gb2312)}})),
        qs(charlib::tr(l, "outside code page 936: {count}", {{"count", number(found.outside.size())}})),
    };
    setToolTip(said.join(u'\n'));
    setAccessibleDescription(said.join(QStringLiteral("; ")));
    update();
}

void CoverageBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect bar(0, 0, width(), barPixels);
    const std::uint64_t total = std::accumulate(segments_.begin(), segments_.end(), std::uint64_t{0},
        [](std::uint64_t sum, const Segment& s) { return sum + s.count; });
    if (total != 0) {
        // Proportional widths, each present segment at least a few pixels, the
        // widest giving way.
        std::vector<int> widths;
        for (const Segment& segment : segments_)
            widths.push_back(segment.count == 0
                    ? 0
                    : std::max(leastSegmentPixels,
                          static_cast<int>(segment.count * std::uint64_t(bar.width()) / total)));
        auto widest = std::max_element(widths.begin(), widths.end());
        *widest -= std::accumulate(widths.begin(), widths.end(), 0) - bar.width();
        int x = bar.left();
        for (std::size_t i = 0; i < segments_.size(); ++i) {
            painter.fillRect(QRect(x, bar.top(), widths[i], bar.height()), segments_[i].colour);
            x += widths[i];
        }
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
}

}  // namespace charlib::studio
