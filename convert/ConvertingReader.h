#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct AudioData;
class ByteSource;

// How a load with conversion went.
struct ConvertOutcome {
    bool converted = false;     // the converter made the record
    int strictCode = 0;         // the strict reader's result (ReadOk when it took the file)
    std::string convertReason;  // why the converter refused the file too; empty otherwise
};

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

// The same over bytes in memory (tests and fuzzers) and over any source.
[[nodiscard]] int ReadAudioMemoryConverting(const uint8_t* data, size_t size, AudioData* record,
                                            int hostByteOrder, ConvertOutcome* outcome);
[[nodiscard]] int ReadAudioSourceConverting(ByteSource& source, AudioData* record,
                                            int hostByteOrder, ConvertOutcome* outcome);

// "the converter cannot read it either: <why>", to follow a strict reader's
// reason after a semicolon; empty when the converter did not try the file.
[[nodiscard]] std::string DescribeConverterRefusal(const ConvertOutcome& outcome);
