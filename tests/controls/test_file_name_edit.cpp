#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

#include "controls/FileNameEdit.h"

namespace {

void Paste(FileNameEdit& edit, const QString& text) {
    QApplication::clipboard()->setText(text);
    edit.paste();
}

}  // namespace

TEST(FileNameEdit, TypedCharactersOutsideTheNameSetAreDropped) {
    FileNameEdit edit;
    QTest::keyClicks(&edit, QStringLiteral("my song_1"));
    EXPECT_EQ(edit.text(), QStringLiteral("mysong1"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClicks(&edit, QStringLiteral("-2"));
    EXPECT_EQ(edit.text(), QStringLiteral("mysong-2"));
    EXPECT_TRUE(edit.isUndoAvailable()) << "clean typing keeps the edit's undo";
}

TEST(FileNameEdit, PastedTextIsCleanedAndTheCaretFollows) {
    FileNameEdit edit;
    edit.SetText(QStringLiteral("X"));
    edit.end(false);
    Paste(edit, QStringLiteral("ab c.d"));
    EXPECT_EQ(edit.text(), QStringLiteral("Xabcd"));
    EXPECT_EQ(edit.cursorPosition(), 5);

    // Pasted in the middle: the caret stays after the pasted part.
    edit.setCursorPosition(1);
    Paste(edit, QStringLiteral("?q"));
    EXPECT_EQ(edit.text(), QStringLiteral("Xqabcd"));
    EXPECT_EQ(edit.cursorPosition(), 2);
}

TEST(FileNameEdit, MaximumKeepsTheFirstCharacters) {
    FileNameEdit edit;
    edit.SetMaxLength(16);
    Paste(edit, QStringLiteral("abcdefghijklmnopqrst"));
    EXPECT_EQ(edit.text(), QStringLiteral("abcdefghijklmnop"));
    EXPECT_EQ(edit.cursorPosition(), 16);

    // Typing into a full field pushes its last character out.
    edit.setCursorPosition(8);
    QTest::keyClicks(&edit, QStringLiteral("X"));
    EXPECT_EQ(edit.text(), QStringLiteral("abcdefghXijklmno"));
    EXPECT_EQ(edit.cursorPosition(), 9);
}

TEST(FileNameEdit, SetTextIsShownUncutUntilTheNextChange) {
    FileNameEdit edit;
    edit.SetMaxLength(16);
    edit.SetText(QStringLiteral("name with spaces-and-more"));
    EXPECT_EQ(edit.text(), QStringLiteral("name with spaces-and-more"));
    edit.end(false);
    QTest::keyClick(&edit, Qt::Key_Z);
    EXPECT_EQ(edit.text(), QStringLiteral("namewithspaces-a"));
    EXPECT_EQ(edit.cursorPosition(), 16);
}

TEST(FileNameEdit, NonAsciiCharactersGoWholeAndMoveTheCaretBackByTheirLength) {
    FileNameEdit edit;
    edit.SetText(QStringLiteral("X"));
    edit.end(false);
    Paste(edit, QString::fromUtf8("a\xF0\x9F\x8E\xB5"
                                  "b\xC3\xA9"));  // a, a surrogate pair, b, e-acute
    EXPECT_EQ(edit.text(), QStringLiteral("Xab"));
    EXPECT_EQ(edit.cursorPosition(), 3);

    QKeyEvent typed(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier,
                    QString::fromUtf8("\xC3\xA9"));
    QCoreApplication::sendEvent(&edit, &typed);  // typed: dropped
    EXPECT_EQ(edit.text(), QStringLiteral("Xab"));
}

TEST(FileNameEdit, CaretNeverGoesBelowZero) {
    FileNameEdit edit;
    edit.SetText(QStringLiteral("  ab"));
    edit.setCursorPosition(0);
    QTest::keyClick(&edit, Qt::Key_Q);  // "q  ab": caret 1, two removed after it
    EXPECT_EQ(edit.text(), QStringLiteral("qab"));
    EXPECT_EQ(edit.cursorPosition(), 0);
}

TEST(CleanFileName, CountsEveryRemovedUnitUpToTheMaximum) {
    CleanedFileName r = CleanFileName(QStringLiteral("a b.c"), 0xFFFF);
    EXPECT_EQ(r.text, QStringLiteral("abc"));
    EXPECT_EQ(r.removed, 2);
    r = CleanFileName(QStringLiteral("abc d e"), 3);  // what follows the maximum is not counted
    EXPECT_EQ(r.text, QStringLiteral("abc"));
    EXPECT_EQ(r.removed, 0);
    r = CleanFileName(QStringLiteral("ab\tc"), -1);  // negative maximum: no limit
    EXPECT_EQ(r.text, QStringLiteral("abc"));
    EXPECT_EQ(r.removed, 1);
}
