#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include "res/AboutDialog.h"
#include "res/DialogTemplates.h"
#include "res/StringTable.h"

TEST(StringTable, HoldsEveryTextVerbatim) {
    EXPECT_EQ(LoadResString(101),
              QStringLiteral("GRIDLUME User Voice Manager Version Info(&A)..."));
    EXPECT_EQ(LoadResString(102),
              QStringLiteral(
                  "All Audio Files (*.wav;*.aif;*.aiff)|*.wav;*.aif;*.aiff|WAVE PCM Files "
                  "(*.wav)|*.wav|AIFF Files (*.aif;*.aiff)|*.aif;*.aiff|ALL File (*.*)|*.*||"));
    EXPECT_EQ(LoadResString(103),
              QStringLiteral("File already exists. Do you really want to replace it?"));
    EXPECT_EQ(LoadResString(104),
              QStringLiteral("An error occurred while saving the sampling file."));
    EXPECT_EQ(LoadResString(105),
              QStringLiteral("An error occurred while initializing the sound device."));
    EXPECT_EQ(LoadResString(106),
              QStringLiteral("An error occurred while loading the sound file."));
    EXPECT_EQ(LoadResString(107), QStringLiteral("Illegal file path."));
    EXPECT_EQ(LoadResString(109), QStringLiteral("Multiple files are selected."));
    EXPECT_TRUE(LoadResString(108).isEmpty());
    EXPECT_TRUE(LoadResString(0).isEmpty());
}

TEST(StringTable, FilterBecomesQtSyntaxWithSpaceSeparatedPatterns) {
    EXPECT_EQ(SoundFileDialogFilter(),
              QStringLiteral("All Audio Files (*.wav *.aif *.aiff);;WAVE PCM Files (*.wav);;"
                             "AIFF Files (*.aif *.aiff);;ALL File (*)"));
    EXPECT_EQ(ToQtFileFilter(QStringLiteral("Text|*.txt||")), QStringLiteral("Text (*.txt)"));
    EXPECT_TRUE(ToQtFileFilter(QString()).isEmpty());
}

TEST(DialogUnits, ConvertWithTheFontsBaseUnits) {
    const DialogBaseUnits units{6, 15};
    EXPECT_EQ(DluToPixels(QRect(15, 74, 157, 12), units), QRect(23, 139, 236, 23));
    EXPECT_EQ(DluToPixels(QSize(187, 121), units), QSize(281, 227));
    const DialogBaseUnits real = DialogBaseUnitsOf(DialogFont());
    EXPECT_GT(real.cx, 3);
    EXPECT_GT(real.cy, 8);
}

TEST(AboutBox, ShowsTheVersionAndClosesWithOk) {
    AboutDialog about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("GRIDLUME User Voice Manager Info"));
    bool versionShown = false;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        versionShown = versionShown ||
                       label->text() == QStringLiteral("GRIDLUME User Voice Manager Version 1.0.0");
    }
    EXPECT_TRUE(versionShown);
    const auto buttons = about.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_TRUE(buttons.front()->isDefault());
    about.show();
    buttons.front()->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
}
