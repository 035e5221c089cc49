#include "convert/ConvertingReader.h"

#include <cstring>

#include "audio/AudioReader.h"
#include "audio/ByteSource.h"
#include "convert/AudioConverter.h"

int ReadStrictThenConverted(AudioData* record, bool convert, ConvertOutcome* outcome,
                            const std::function<int(AudioData* record)>& strict,
                            const std::function<bool(AudioData*, std::string*)>& converted) {
    const int code = strict(record);
    outcome->strictCode = code;
    if (code == ReadOk || !convert) return code;
    // The strict reader's header fields name the format in its reason, so
    // they are put back when the converter fails too.
    const int16_t channels = record->channels;
    const int32_t sampleRate = record->sampleRate;
    const int16_t bitsPerSample = record->bitsPerSample;
    std::memset(record, 0, sizeof *record);
    if (converted(record, &outcome->convertReason)) {
        outcome->converted = true;
        outcome->convertReason.clear();
        return ReadOk;
    }
    std::memset(record, 0, sizeof *record);
    record->channels = channels;
    record->sampleRate = sampleRate;
    record->bitsPerSample = bitsPerSample;
    return code;
}

int ReadAudioSourceConverting(ByteSource& source, AudioData* record, int hostByteOrder,
                              ConvertOutcome* outcome) {
    ConvertOutcome ignored;
    if (outcome == nullptr) outcome = &ignored;
    *outcome = {};
    // Bad arguments are the caller's fault, not the file's: nothing to convert.
    if (record == nullptr ||
        (hostByteOrder != HostLittleEndian && hostByteOrder != HostBigEndian)) {
        outcome->strictCode = ReadBadArgument;
        return ReadBadArgument;
    }
    return ReadStrictThenConverted(
        record, true, outcome,
        [&](AudioData* r) { return ReadAudioSource(source, r, hostByteOrder); },
        [&](AudioData* r, std::string* reason) { return ConvertAudioSource(source, r, reason); });
}

int ReadAudioFileConverting(const char* path, AudioData* record, int hostByteOrder,
                            ConvertOutcome* outcome) {
    if (outcome != nullptr) *outcome = {};
    if (path == nullptr || record == nullptr) return ReadBadArgument;
    // As ReadAudioFile: a file that cannot be opened is code 2, and there is
    // nothing for the converter to read either.
    auto source = FileSource::Open(path);
    if (!source) {
        if (outcome != nullptr) outcome->strictCode = ReadShort;
        return ReadShort;
    }
    return ReadAudioSourceConverting(*source, record, hostByteOrder, outcome);
}

std::string DescribeConverterRefusal(const ConvertOutcome& outcome) {
    if (outcome.convertReason.empty()) return {};
    // libsndfile's messages are sentences; here they follow a colon.
    std::string why = outcome.convertReason;
    while (!why.empty() && (why.back() == '.' || why.back() == ' ')) why.pop_back();
    if (!why.empty() && why[0] >= 'A' && why[0] <= 'Z' &&
        (why.size() < 2 || why[1] < 'A' || why[1] > 'Z'))
        why[0] = static_cast<char>(why[0] - 'A' + 'a');
    return "the converter cannot read it either: " + why;
}
