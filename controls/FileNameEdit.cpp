#include "controls/FileNameEdit.h"

#include <QKeyEvent>

#include <algorithm>

#include "voicebank/BankName.h"

namespace {

// The bank-name rule's own characters.
bool IsNameChar(char16_t c) { return IsBankNameChar(c); }

// What a keystroke may pass on: name characters and control characters
// (Backspace, Enter, the editing keys).
bool IsTypeable(char16_t c) { return IsNameChar(c) || c < 0x20 || c == 0x7F; }

}  // namespace

CleanedFileName CleanFileName(const QString& text, int maxLength) {
    CleanedFileName result;
    const auto limit = static_cast<unsigned>(maxLength);
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c.unicode() >= 0x80) {
            // One character, one or two UTF-16 units, removed whole.
            const qsizetype units =
                c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
            result.removed += static_cast<int>(units);
            i += units;
            continue;
        }
        if (IsNameChar(c.unicode())) {
            result.text.append(c);
        } else {
            ++result.removed;
        }
        if (static_cast<unsigned>(result.text.size()) >= limit) {
            break;
        }
        ++i;
    }
    return result;
}

FileNameEdit::FileNameEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this] { OnChange(); });
}

void FileNameEdit::SetText(const QString& text) {
    m_lastText = text;
    setText(text);
}

void FileNameEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool shortcut = event->modifiers().testFlag(Qt::ControlModifier) ||
                          event->modifiers().testFlag(Qt::MetaModifier);
    if (!typed.isEmpty() && !shortcut &&
        !std::all_of(typed.begin(), typed.end(), [](QChar c) { return IsTypeable(c.unicode()); })) {
        event->accept();  // dropped silently
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void FileNameEdit::OnChange() {
    const QString current = text();
    if (current == m_lastText) {
        return;  // our own SetText, or nothing new
    }
    const CleanedFileName cleaned = CleanFileName(current, m_maxLength);
    if (cleaned.removed == 0 && cleaned.text == current) {
        m_lastText = current;  // already clean: leave text, caret and undo alone
        return;
    }
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    SetText(cleaned.text);
    const int caret = std::clamp(start - cleaned.removed, 0, static_cast<int>(cleaned.text.size()));
    setCursorPosition(caret);
    m_lastText = cleaned.text;
}
