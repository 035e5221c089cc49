#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct AudioData;
class ByteSource;

// How a load with conversion went.
struct ConvertOutcome {
    bool converted = false;     // the converter made the record
    int strictCode = 0;         // the strict reader's result (ReadOk when it took the file)
    std::string convertReason;  // why the converter refused the file too; empty otherwise
};

// The strict-then-converter fallback every load takes: strict(record)
// first; only when it refuses the file (a code other than ReadOk) and
// convert is set, the record is cleared and converted(record, reason)
// tries. When that fails too, the strict reader's header fields are put
// back for its reason. Returns ReadOk when either made the record
// (outcome->converted tells which), else the strict reader's code.
[[nodiscard]] int ReadStrictThenConverted(
    AudioData* record, bool convert, ConvertOutcome* outcome,
    const std::function<int(AudioData* record)>& strict,
    const std::function<bool(AudioData* record, std::string* reason)>& converted);

// Reads a sound file into a zero-filled record: the strict reader first, and
// every file it takes is read exactly as ReadAudioFile reads it. Only a file
// it refuses, and that could be opened, goes to the converter.
// hostByteOrder: as for ReadAudioFile; outcome: may be null.
// Returns ReadOk when either reader filled the record (outcome->converted
// tells which); otherwise the strict reader's code, with the record holding
// only the header fields the strict reader found (for its reason text) and
// the converter's reason in outcome->convertReason.
[[nodiscard]] int ReadAudioFileConverting(const char* path, AudioData* record, int hostByteOrder,
                                          ConvertOutcome* outcome);

// The same over any source.
[[nodiscard]] int ReadAudioSourceConverting(ByteSource& source, AudioData* record,
                                            int hostByteOrder, ConvertOutcome* outcome);

// "the converter cannot read it either: <why>", to follow a strict reader's
// reason after a semicolon; empty when the converter did not try the file.
[[nodiscard]] std::string DescribeConverterRefusal(const ConvertOutcome& outcome);
