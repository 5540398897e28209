#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace charlib {

// The character-set box. It keeps its text exactly: a line break the user
// types is CR LF, as in a Windows text box, and CR LF, a lone CR or a lone LF
// that come in by Generate, Sort or a paste stay what they were. Each break
// shows as a new line; its characters are kept in the block after it.
class CharsetBox : public QPlainTextEdit {
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

    // The exact text; use it instead of toPlainText(), which turns every
    // break into LF.
    QString text() const;
    // Replaces the whole text and forgets the undo history.
    void setText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
};

}  // namespace charlib
