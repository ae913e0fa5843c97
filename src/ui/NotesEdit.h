#pragma once
// The notes edit of a battle: at most MaxLength characters as stored, where a line break is stored as
// CR LF and counts two. Typing beyond the limit is refused; a paste is cut to fit.
#include <QPlainTextEdit>

#include <functional>

class NotesEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit NotesEdit(QWidget* parent = nullptr);
    int MaxLength = 255;
    // Raised when the edit loses the input focus to another control or window.
    std::function<void()> OnExit;

    // The length of a text as stored: code points, line breaks counting two.
    static int StoredLength(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int Room() const;  // what may still be added, the selection counting as free
    QString lastGood_;
};
