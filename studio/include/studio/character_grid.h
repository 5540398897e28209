#pragma once
// The Characters panel: a job's characters as a grid of cells drawn in its
// font, the missing ones marked, with a filter; and a bar of their coverage
// of code page 936.

#include <QAbstractListModel>
#include <QColor>
#include <QFont>
#include <QWidget>

#include <cstdint>
#include <string_view>
#include <vector>

#include "messages/language.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;

namespace charlib::studio {

struct CharacterEntry {
    char32_t character;
    std::uint64_t count;  // 0: added to the set, not in the sources
    bool missing;  // the font lacks it
};

// U+5B57, U+0020, U+20000: at least four hex digits.
QString characterCode(char32_t character);
// Characters that would leave a cell blank or odd (controls, spaces, format
// characters, unassigned code points) are shown by their code instead.
bool shownByCode(char32_t character);

// One item per character, in the order given.
class CharacterModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        CharacterRole = Qt::UserRole,  // the code point, as uint
        CountRole,
        MissingRole,
        ShownByCodeRole,
    };
    explicit CharacterModel(Language language, QObject* parent = nullptr);

    void setCharacters(std::vector<CharacterEntry> entries);
    // How the user knows the font, for the texts of missing characters.
    void setFontName(const QString& fontName);
    const std::vector<CharacterEntry>& entries() const { return entries_; }
    std::size_t missingCount() const { return missing_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    QString missingText() const;

private:
    QString countText(std::uint64_t count) const;

    Language language_;
    QString fontName_;
    std::vector<CharacterEntry> entries_;
    std::size_t missing_ = 0;
};

class CharacterFilter;
class CharacterDelegate;

// The grid of a job's characters, a filter box above it and a legend below.
class CharacterGrid : public QWidget {
    Q_OBJECT
public:
    explicit CharacterGrid(Language language, QWidget* parent = nullptr);

    // In the job's order, shown in that order. The current character stays
    // current when it is still there.
    void setCharacters(std::vector<CharacterEntry> entries);
    // The family Qt knows the job's font by (empty: none); fontName is how the
    // user knows it, for the texts.
    void setFontFamily(const QString& family, const QString& fontName);
    char32_t currentCharacter() const;  // 0: none
    QListView* view() const { return view_; }
    QLineEdit* filterBox() const { return filter_; }
    QCheckBox* missingOnlyBox() const { return missingOnly_; }

signals:
    // A click, or the keyboard moving the current item.
    void characterSelected(char32_t character);

private:
    void currentMoved(const QModelIndex& current);
    void filterChanged();
    void updateTexts();

    Language language_;
    CharacterModel* model_;
    CharacterFilter* proxy_;
    CharacterDelegate* delegate_;
    QLineEdit* filter_;
    QCheckBox* missingOnly_;
    QListView* view_;
    QLabel* shown_;
    QLabel* legend_;
    char32_t lastSelected_ = 0;
};

// The characters' coverage of code page 936 as one bar of segments: GB2312
// level 1, level 2, its other characters with the single-byte ones, GBK
// beyond GB2312, and outside code page 936.
class CoverageBar : public QWidget {
    Q_OBJECT
public:
    explicit CoverageBar(Language language, QWidget* parent = nullptr);
    void setCharacters(std::u32string_view characters);

    struct Segment {
        QString name;
        std::uint64_t count;
        QColor colour;
    };
    const std::vector<Segment>& segments() const { return segments_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Language language_;
    std::vector<Segment> segments_;
    QLabel* legend_;
};

}  // namespace charlib::studio
