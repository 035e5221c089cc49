#include "cli/PlayCommand.h"

#include <chrono>
#include <memory>
#include <new>
#include <thread>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "cli/ConvertLoad.h"
#include "cli/LoadMessages.h"
#include "convert/ConvertingReader.h"
#include "engine/SlotPlaybackView.h"
#include "engine/SoundEngine.h"
#include "voicebank/VoiceBankImage.h"

namespace glwtool {

const char* const PlayHelp =
    "usage: glwtool play [--convert] FILE...\n\n"
    "Plays WAV or AIFF files through the sound device, one after another. Each file is\n"
    "loaded into a slot as the window loads it (its first second at most, at 44100 Hz,\n"
    "with a 20 ms fade) and played to its end. The device's name is printed first.\n\n"
    "OpenAL Soft picks the device; choose its backend with ALSOFT_DRIVERS (for example\n"
    "ALSOFT_DRIVERS=pulse) or with 'drivers = pulse,alsa' in ~/.config/alsoft.conf.\n"
    "A file that cannot be loaded is named with the reason; the others still play.\n"
    "--convert also plays the files the window's rules refuse (24-bit, float, any rate,\n"
    "more channels, FLAC, Ogg ...): their first second, channels 1 and 2, at 44100 Hz\n"
    "in 16 bits, as glwtool build --convert keeps them.\n\n"
    "exit codes: 0 all played, 1 a file could not be loaded or played, 2 usage error,\n"
    "3 no sound device\n";

namespace {

constexpr int PlaySlotNumber = 0;

// No play buttons here: the button always shows its stopped image, so the
// slot's watcher has nothing to restore.
class NoButtons final : public SlotPlaybackView {
public:
    [[nodiscard]] const void* GetPlayButtonImage(int) const override { return &m_image; }
    [[nodiscard]] const void* GetStoppedPlayImage() const override { return &m_image; }
    void ShowSlotStopped(int) override {}

private:
    const char m_image = 0;
};

// Why a file the engine did not take failed, in the words of every other
// command: the file is read again only to name the reason.
std::string DescribeRefusal(const std::string& file) {
    const auto record = std::unique_ptr<AudioData>(new (std::nothrow) AudioData());
    if (!record) return "glwtool play: not enough memory";
    int code = 0;
    if (LoadVoiceFile(file, record.get(), &code) != 1) {
        return DescribeLoadFailure(file, code, *record);
    }
    return "glwtool play: " + file + ": the sound device refused the sound";
}

// A file the engine refused, read again with the converter behind the strict
// reader and handed to the engine as a record. Returns 1 when loaded; else
// 0 with the reason in *why.
int LoadConverted(SoundEngine& engine, const std::string& file, bool* converted,
                  std::string* why) {
    const auto record = std::unique_ptr<AudioData>(new (std::nothrow) AudioData());
    if (!record) {
        *why = "glwtool play: not enough memory";
        return 0;
    }
    ConvertOutcome outcome;
    const int code =
        ReadAudioFileConverting(file.c_str(), record.get(), HostLittleEndian, &outcome);
    if (code != ReadOk) {
        *why = DescribeConvertFailure(file, code, *record, outcome);
        return 0;
    }
    if (engine.LoadSlotRecord(PlaySlotNumber, *record) != 1) {
        *why = "glwtool play: " + file + ": the sound device refused the sound";
        return 0;
    }
    *converted = outcome.converted;
    return 1;
}

// Waits while the slot plays; false when it has not ended well after its
// length (a device that stopped consuming).
bool WaitForEnd(const SoundEngine& engine, int frames) {
    using namespace std::chrono;
    const auto deadline =
        steady_clock::now() + milliseconds(static_cast<int64_t>(frames) * 1000 / 44100) +
        seconds(5);
    while (engine.IsSlotPlaying(PlaySlotNumber) == 1) {
        if (steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

}  // namespace

int RunPlay(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<std::string> files;
    if (!SplitArguments("play", args, {"--convert"}, &options, &files, err)) return ExitUsage;
    const bool convert = !options.empty();
    if (files.empty()) return UsageError("play", "no sound files given", err);

    NoButtons view;
    SoundEngine engine;
    if (engine.Open(&view, VoiceSlotCount, HostLittleEndian) != 1) {
        err << "no sound device\n";
        return ExitNoSoundDevice;
    }
    out << "device: " << engine.GetDeviceName() << '\n' << std::flush;

    bool failed = false;
    bool played = false;
    for (const std::string& file : files) {
        bool converted = false;
        if (engine.LoadSlot(PlaySlotNumber, file.c_str()) != 1) {
            std::string why;
            if (!convert || LoadConverted(engine, file, &converted, &why) != 1) {
                err << (convert ? why : DescribeRefusal(file)) << '\n';
                failed = true;
                continue;
            }
        }
        const AudioData& record = engine.GetImage()->slots[PlaySlotNumber];
        const int frames = record.frames;
        out << "playing " << file << "  " << (record.channels == 2 ? "stereo" : "mono") << ", "
            << (converted ? "converted, " : "") << DescribeLength(frames) << '\n'
            << std::flush;
        if (engine.PlaySlot(PlaySlotNumber) != 1) {
            err << "glwtool play: " << file << ": the sound device did not start it\n";
            failed = true;
            continue;
        }
        if (!WaitForEnd(engine, frames)) {
            err << "glwtool play: " << file << ": the sound device stopped playing\n";
            failed = true;
            continue;
        }
        played = true;
    }
    // The device still holds the end of the last sound in its own buffer.
    if (played) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    engine.Close();
    return failed ? ExitFailure : ExitOk;
}

Command PlayCommand() {
    return {"play", "play sound files through the sound device, as the window does", PlayHelp,
            RunPlay};
}

}  // namespace glwtool
