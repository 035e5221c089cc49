#include "res/StringTable.h"

#include <QStringList>

#include <array>

namespace {

struct Entry {
    int id;
    const char* text;
};

constexpr std::array<Entry, 30> Table{{
    {IdsAboutMenu, "GRIDLUME User Voice Manager Version Info(&A)..."},
    {IdsAudioFilter,
     "All Audio Files (*.wav;*.aif;*.aiff)|*.wav;*.aif;*.aiff|WAVE PCM Files (*.wav)|*.wav|"
     "AIFF Files (*.aif;*.aiff)|*.aif;*.aiff|ALL File (*.*)|*.*||"},
    {IdsReplaceFile, "File already exists. Do you really want to replace it?"},
    {IdsSaveError, "An error occurred while saving the sampling file."},
    {IdsSoundDeviceError, "An error occurred while initializing the sound device."},
    {IdsLoadError, "An error occurred while loading the sound file."},
    {IdsIllegalPath, "Illegal file path."},
    {IdsMultipleFiles, "Multiple files are selected."},
    {IdsOpenBankError, "This file is not a voice bank, or it is damaged. Nothing was changed."},
    {IdsReplaceRows, "Opening the voice bank replaces all 16 rows. Do you want to continue?"},
    {IdsCopyBankError,
     "The rows of the voice bank could not be copied to your data folder. Nothing was changed."},
    {IdsOpenBankMissing, "This voice bank file does not exist. Nothing was changed."},
    {IdsReplaceSliceRows, "The slices replace rows that are filled. Do you want to continue?"},
    {IdsReplaceFillRows, "The files replace rows that are filled. Do you want to continue?"},
    {IdsFilesLeftOut, "Not every file found a row."},
    {IdsFillFolderError, "No sound files were found in the folder. Nothing was changed."},
    {IdsCardError, "The voice banks on the card could not be read or changed as asked."},
    {IdsDeleteCardBank, "Do you really want to delete this voice bank from the card?"},
    {IdsRestoreCard,
     "Restoring the backup replaces the card's voice banks of the same names. Do you want to "
     "continue?"},
    {IdsCardCompared, "The card compared with the backup:"},
    {IdsCardBackedUp, "Every voice bank of the card was backed up and verified."},
    {IdsKitExported, "The voice bank was exported."},
    {IdsKitExportError, "The voice bank could not be exported."},
    {IdsKitReplaceFiles, "These files exist already. Do you want to replace them?"},
    {IdsKitReplaceRows, "Importing the kit replaces all 16 rows. Do you want to continue?"},
    {IdsKitImportError, "The kit could not be imported. Nothing was changed."},
    {IdsKitImported, "The kit was imported."},
    {IdsRollError, "The folder could not be read. Nothing was changed."},
    {IdsRollLeftOut, "Not every row was rolled."},
    {IdsRecordError, "The sound could not be recorded. Nothing was changed."},
}};

}  // namespace

QString LoadResString(int id) {
    for (const Entry& entry : Table) {
        if (entry.id == id) {
            return QString::fromLatin1(entry.text);
        }
    }
    return {};
}

QString ToQtFileFilter(const QString& barFilter) {
    const QStringList parts = barFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        if (description.isEmpty()) {
            break;  // the "||" that ends the list
        }
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) {
                pattern = QStringLiteral("*");
            }
        }
        // Qt reads the patterns from the last parentheses of the entry.
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            if (open >= 0) {
                description = description.left(open).trimmed();
            }
        }
        filters.append(QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' '))));
    }
    return filters.join(QStringLiteral(";;"));
}

QString SoundFileDialogFilter() { return ToQtFileFilter(LoadResString(IdsAudioFilter)); }
