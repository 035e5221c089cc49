#pragma once

#include <QLineEdit>
#include <QString>

// Result of cleaning a file name: the kept text and how many characters
// (UTF-16 units) the scan removed.
struct CleanedFileName {
    QString text;
    int removed = 0;
};

// Keeps ASCII letters, digits and '-' of text, in order, up to maxLength
// characters (compared unsigned, so a negative maximum means no limit).
// Every other character is removed; a non-ASCII character is removed whole
// and counts its full length. The scan stops once the kept text reaches the
// maximum; what follows is dropped and not counted.
[[nodiscard]] CleanedFileName CleanFileName(const QString& text, int maxLength);

// The edit field for a voice bank's file name: letters, digits and '-'
// only, at most GetMaxLength() characters. Other typed characters are
// dropped as typed; text that arrives another way (paste, input method) is
// cleaned as soon as it changes, and the caret moves back by what was
// removed.
class FileNameEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FileNameEdit(QWidget* parent = nullptr);

    // Maximum length of the cleaned text; takes effect at the next change.
    void SetMaxLength(int length) { m_maxLength = length; }
    [[nodiscard]] int GetMaxLength() const { return m_maxLength; }

    // Shows text as it is, neither cleaned nor cut to the maximum; the next
    // change the user makes cleans it.
    void SetText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnChange();

    int m_maxLength = 0xFFFF;
    QString m_lastText;
};
