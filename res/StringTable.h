#pragma once

#include <QString>

// String table ids.
enum ResStringId : int {
    IdsAboutMenu = 101,
    IdsAudioFilter = 102,
    IdsReplaceFile = 103,
    IdsSaveError = 104,
    IdsSoundDeviceError = 105,
    IdsLoadError = 106,
    IdsIllegalPath = 107,
    IdsMultipleFiles = 109,
    IdsOpenBankError = 110,
    IdsReplaceRows = 111,
    IdsCopyBankError = 112,
    IdsOpenBankMissing = 113,
    IdsReplaceSliceRows = 120,
    IdsReplaceFillRows = 121,
    IdsFilesLeftOut = 122,
    IdsFillFolderError = 123,
    IdsCardError = 124,
    IdsDeleteCardBank = 125,
    IdsRestoreCard = 126,
    IdsCardCompared = 127,
    IdsCardBackedUp = 128,
    IdsKitExported = 140,
    IdsKitExportError = 141,
    IdsKitReplaceFiles = 142,
    IdsKitReplaceRows = 143,
    IdsKitImportError = 144,
    IdsKitImported = 145,
    IdsRollError = 146,
    IdsRollLeftOut = 147,
    IdsRecordError = 148,
};

// The text of string id, verbatim; an empty string for an id the table does
// not hold. String 102 comes in its stored form ("desc|patterns|...||").
[[nodiscard]] QString LoadResString(int id);

// Turns a filter of the stored form ("desc|patterns|desc|patterns||", with
// patterns separated by ';') into Qt's file dialog syntax
// ("desc (p1 p2);;desc (p)"). A "(...)" already ending a description is
// replaced by the real patterns, space-separated, and "*.*" becomes "*" so
// the all-files entry also lists names without a dot. Empty in, empty out.
[[nodiscard]] QString ToQtFileFilter(const QString& barFilter);

// String 102 in Qt's filter syntax, for QFileDialog.
[[nodiscard]] QString SoundFileDialogFilter();
