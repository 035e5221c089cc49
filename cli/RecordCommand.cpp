#include "cli/RecordCommand.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <future>
#include <sstream>

#include "audio/AudioReader.h"
#include "record/Recording.h"
#include "record/TakeFile.h"

namespace glwtool {

const char* const RecordHelp =
    "usage: glwtool record OUT.wav [--input default|NAME|jack] [--connect PORT]...\n"
    "                      [--seconds S] [--threshold DBFS|off] [--pre-roll MS]\n"
    "\n"
    "Records a take from an input into OUT.wav: stereo, 32-bit float, at the\n"
    "input's rate. Waits until the input, quiet for 10 ms, reaches the\n"
    "threshold (a sound going on at the start is not taken), then keeps the\n"
    "pre-roll before that moment and S seconds from it. Prints the file, the\n"
    "take's peak and where the sound starts in it.\n"
    "\n"
    "  --input default|NAME|jack\n"
    "            default (the default): the desktop's default capture device;\n"
    "            NAME: a capture device by name; jack: this program's JACK\n"
    "            ports gridlume-voice-manager:in_1 and in_2\n"
    "  --connect PORT\n"
    "            with --input jack: connects another client's output PORT to\n"
    "            the inputs (one PORT feeds both; with more, they take turns)\n"
    "  --seconds S\n"
    "            0.01 to 60 (default 1.5): the take's length from the threshold\n"
    "  --threshold DBFS|off\n"
    "            -120 to 0 (default -40); off starts at once, with no pre-roll\n"
    "  --pre-roll MS\n"
    "            0 to 500 (default 20): kept before the threshold, so the attack\n"
    "            is whole\n"
    "\n"
    "Exit codes: 0 written, 1 OUT.wav could not be written, 2 bad arguments,\n"
    "3 no such input, or it went away while recording.\n";

namespace {

constexpr const char* Name = "record";

bool ParseNumber(const std::string& text, double low, double high, double* value) {
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && at == end && std::isfinite(*value) && *value >= low &&
           *value <= high;
}

std::string Decibels(float level) {
    if (level <= 0) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", record::ToDbfs(level));
    return text;
}

std::string Milliseconds(size_t frame, int rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(frame) * 1000.0 / rate);
    return text;
}

// The first frame of the take that reaches level, or the frame count.
size_t FirstFrameAt(const std::vector<float>& stereo, float level) {
    for (size_t i = 0; i < stereo.size(); ++i)
        if (std::fabs(stereo[i]) >= level) return i / 2;
    return stereo.size() / 2;
}

}  // namespace

int RunRecord(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<OptionValue> values;
    std::vector<std::string> files;
    if (!SplitArguments(Name, args, {},
                        {"--input", "--connect", "--seconds", "--threshold", "--pre-roll"},
                        &options, &values, &files, err))
        return ExitUsage;
    if (files.size() != 1) return UsageError(Name, "give one OUT.wav", err);
    record::CaptureChoice choice;
    record::TakeSettings settings;
    std::vector<std::string> connect;
    for (const OptionValue& v : values) {
        if (v.name == "--input") {
            choice = record::ParseCaptureChoice(v.value);
        } else if (v.name == "--connect") {
            connect.push_back(v.value);
        } else if (v.name == "--seconds") {
            if (!ParseNumber(v.value, 0.01, 60, &settings.seconds))
                return UsageError(Name, "--seconds takes 0.01 to 60", err);
        } else if (v.name == "--threshold") {
            settings.waitForThreshold = v.value != "off";
            if (settings.waitForThreshold &&
                !ParseNumber(v.value, -120, 0, &settings.thresholdDbfs))
                return UsageError(Name, "--threshold takes -120 to 0, or off", err);
        } else {
            double ms = 0;
            if (!ParseNumber(v.value, 0, record::MaxPreRollMs, &ms) || ms != std::floor(ms))
                return UsageError(Name, "--pre-roll takes 0 to 500", err);
            settings.preRollMs = static_cast<int>(ms);
        }
    }
    if (!connect.empty() && choice.kind != record::CaptureChoice::Kind::Jack)
        return UsageError(Name, "--connect needs --input jack", err);
    choice.connect = connect;

    std::promise<record::RecordingResult> ended;
    record::RecordingEvents events;
    events.opened = [&err, &settings](int) {
        if (settings.waitForThreshold)
            err << "glwtool record: waiting for the input to reach " << settings.thresholdDbfs
                << " dBFS\n";
    };
    events.finished = [&ended](record::RecordingResult result) {
        ended.set_value(std::move(result));
    };
    record::Recording recording(record::OpenerFor(choice), std::move(events));
    recording.Arm(settings);  // before the first frame is read
    if (!recording.Start()) {
        err << "glwtool record: cannot start recording\n";
        return ExitFailure;
    }
    record::RecordingResult result = ended.get_future().get();
    using End = record::RecordingResult::End;
    if (result.end == End::NoInput || result.end == End::Lost) {
        err << "glwtool record: " << result.reason << "\n";
        return ExitNoSoundDevice;
    }
    std::string reason;
    if (!record::WriteTakeFile(files[0], result.take, result.sampleRate, &reason)) {
        err << "glwtool record: cannot write " << files[0] << ": " << reason << "\n";
        return ExitFailure;
    }
    const size_t frames = result.take.size() / 2;
    // Without a threshold, where the take first reaches -40 dBFS.
    const size_t sound = settings.waitForThreshold
                             ? result.thresholdFrame
                             : FirstFrameAt(result.take, static_cast<float>(FirstSoundLevel));
    out << files[0] << ": " << frames << " frames at " << result.sampleRate << " Hz ("
        << Milliseconds(frames, result.sampleRate) << "), 32-bit float, stereo\n";
    out << "peak: " << Decibels(result.peak) << "\n";
    if (sound < frames) {
        out << "sound starts: " << Milliseconds(sound, result.sampleRate) << " (frame " << sound
            << ")\n";
    } else {
        out << "sound starts: none\n";
    }
    return ExitOk;
}

Command RecordCommand() {
    return {"record", "record a take from an input into a WAV file", RecordHelp, RunRecord};
}

}  // namespace glwtool
