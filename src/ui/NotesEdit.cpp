#include "NotesEdit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

NotesEdit::NotesEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Last guard for ways in that bypass the key and paste handlers (input methods, undo):
    // a text over the limit goes back to the last one that fitted.
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        const QString now = toPlainText();
        if (StoredLength(now) <= MaxLength) {
            lastGood_ = now;
            return;
        }
        const QSignalBlocker block(this);
        setPlainText(lastGood_);
        moveCursor(QTextCursor::End);
    });
}

int NotesEdit::StoredLength(const QString& text)
{
    int length = 0;
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate())
            ++it;
        length += (*it == QLatin1Char('\n') || *it == QChar::ParagraphSeparator) ? 2 : 1;
    }
    return length;
}

int NotesEdit::Room() const
{
    return MaxLength - StoredLength(toPlainText()) + StoredLength(textCursor().selectedText());
}

void NotesEdit::keyPressEvent(QKeyEvent* event)
{
    const bool lineBreak = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QString text = lineBreak ? QStringLiteral("\n") : event->text();
    const bool inserts = lineBreak || (!text.isEmpty() && text.at(0).isPrint());
    if (inserts && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && StoredLength(text) > Room()) {
        event->accept();  // full: the key is refused
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void NotesEdit::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText())
        return;
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const int room = Room();
    QString fits;
    int used = 0;
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        QString character(*it);
        if (it->isHighSurrogate() && it + 1 != text.cend())
            character += *++it;
        const int cost = StoredLength(character);
        if (used + cost > room)
            break;
        used += cost;
        fits += character;
    }
    textCursor().insertText(fits);
}

void NotesEdit::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    // A context menu of the notes edit itself is no leaving.
    if (event->reason() != Qt::PopupFocusReason && OnExit)
        OnExit();
}
