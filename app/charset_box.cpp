#include "app/charset_box.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace charlib {

namespace {

// The characters of the break before a block live in its block format.
// Qt keeps a block's format when the block above is merged into it, copies
// it to a block split from it, and restores it on undo.
constexpr int breakProperty = QTextFormat::UserProperty;

QTextBlockFormat breakFormat(const QString& lineBreak)
{
    QTextBlockFormat format;
    format.setProperty(breakProperty, lineBreak);
    return format;
}

// Inserts `text` at the cursor, each CR LF, lone CR or lone LF as a break.
void insertExact(QTextCursor& cursor, const QString& text)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch != u'\r' && ch != u'\n') continue;
        cursor.insertText(text.mid(start, i - start));
        const qsizetype length = (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
        cursor.insertBlock(breakFormat(text.mid(i, length)));
        i += length - 1;
        start = i + 1;
    }
    cursor.insertText(text.mid(start));
}

// The exact text between two document positions.
QString exactText(const QTextDocument& document, int from, int to)
{
    QString text;
    for (QTextBlock block = document.findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        const int begin = std::max(from, block.position());
        const int end = std::min(to, block.position() + block.length() - 1);
        if (block.position() > from) text += block.blockFormat().property(breakProperty).toString();
        if (end > begin) text += block.text().mid(begin - block.position(), end - begin);
    }
    return text;
}

}  // namespace

QString CharsetBox::text() const
{
    return exactText(*document(), 0, document()->characterCount() - 1);
}

void CharsetBox::setText(const QString& text)
{
    document()->setUndoRedoEnabled(false);
    clear();
    QTextCursor cursor(document());
    insertExact(cursor, text);
    document()->setUndoRedoEnabled(true);
    moveCursor(QTextCursor::Start);
}

void CharsetBox::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !isReadOnly() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QTextCursor cursor = textCursor();
        cursor.insertBlock(breakFormat(QStringLiteral("\r\n")));
        setTextCursor(cursor);
        ensureCursorVisible();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CharsetBox::insertFromMimeData(const QMimeData* source)
{
    if (isReadOnly() || !source->hasText()) return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    insertExact(cursor, source->text());
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData* CharsetBox::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(exactText(*document(), cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

}  // namespace charlib
