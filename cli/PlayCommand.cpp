#include "cli/PlayCommand.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "cli/MidiPlayCommand.h"
#include "cli/RowChoices.h"
#include "convert/RowOptionText.h"
#include "convert/VoiceLoad.h"
#include "engine/SoundEngine.h"
#include "voicebank/VoiceBankImage.h"

namespace glwtool {

const char* const PlayHelp =
    "usage: glwtool play [--convert] [--start N=SECONDS|N=auto]... [--length N=SECONDS]...\n"
    "                    [--normalize N=DBFS]... [--loudness N=LUFS]... [--end N=auto]...\n"
    "                    [--snap N]... [--pitch N=SEMITONES]... [--reverse N]...\n"
    "                    [--fade-in N=MS]... [--fade-out N=MS]... FILE...\n"
    "       glwtool play --midi [--sound-device] BANK.glw\n"
    "       glwtool play --midi [--sound-device] [options above] FILE...\n\n"
    "Plays WAV or AIFF files through the sound device, one after another. Each file is\n"
    "loaded into a slot as the window loads it (its first second at most, at 44100 Hz,\n"
    "with a 20 ms fade) and played to its end. The device's name is printed first.\n\n"
    "OpenAL Soft picks the device; choose its backend with ALSOFT_DRIVERS (for example\n"
    "ALSOFT_DRIVERS=pulse) or with 'drivers = pulse,alsa' in ~/.config/alsoft.conf.\n"
    "It is asked for a short buffer, 128 x 3 frames (17 ms on PulseAudio), unless an\n"
    "alsoft.conf sets 'period_size' or 'periods' under [general] (set them there to\n"
    "choose another) or ALSOFT_CONF is set.\n"
    "A file that cannot be loaded is named with the reason; the others still play.\n"
    "--convert also plays the files the window's rules refuse (24-bit, float, any rate,\n"
    "more channels, FLAC, Ogg ...): their first second, channels 1 and 2, at 44100 Hz\n"
    "in 16 bits, as glwtool build --convert keeps them.\n"
    "--start, --length, --normalize, --loudness and the shaping options (--end, --snap,\n"
    "--pitch, --reverse, --fade-in, --fade-out) work as in glwtool build, N being\n"
    "the file's place in the list (1 for the first); --midi takes them too. A row file\n"
    "written by glwtool extract plays as it stands; so does a bank (.glw, in any case)\n"
    "with --midi.\n"
    "--midi loads the bank's rows (or the files into rows 1, 2, ...) and plays them from\n"
    "MIDI until Ctrl+C, as the window does: note 60 plays row 1, the rows repeat every 16\n"
    "notes, velocity sets the level. It reads the ALSA sequencer (client \"GRIDLUME User\n"
    "Voice Manager\", port \"MIDI in\") and JACK (gridlume-voice-manager:midi_in).\n"
    "When a JACK server runs, the rows play at gridlume-voice-manager:out_1 and out_2\n"
    "(connected to the playback ports), each JACK note exactly one period after it;\n"
    "--sound-device plays them on the sound device instead.\n\n"
    "exit codes: 0 all played, 1 a file could not be loaded or played, 2 usage error,\n"
    "3 no sound device, or the device was lost while playing\n";

namespace {

constexpr int PlaySlotNumber = 0;

// Counts the engine's stop reports so that the command can wait for the
// end of each sound.
class StopWaiter final : public SoundEngine::Listener {
public:
    void SlotStopped(int) override {
        {
            const std::lock_guard lock(m_mutex);
            ++m_stops;
        }
        m_stopped.notify_all();
    }
    [[nodiscard]] int Stops() const {
        const std::lock_guard lock(m_mutex);
        return m_stops;
    }
    // Waits until more than seen stops were reported; false at the deadline.
    [[nodiscard]] bool WaitBeyond(int seen, std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        return m_stopped.wait_until(lock, deadline, [&] { return m_stops > seen; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    int m_stops = 0;
};

int DeviceLost(std::ostream& err) {
    err << "sound device lost\n";
    return ExitNoSoundDevice;
}

// The files to play and each one's row options, from the arguments.
struct PlayJob {
    bool convert = false;
    std::vector<std::string> files;
    std::vector<RowChoice> choices;
};

// Reads the arguments; ExitOk or ExitUsage (said on err).
int ParsePlayArguments(const std::vector<std::string>& args, PlayJob* job, std::ostream& err) {
    std::vector<std::string> options;
    std::vector<OptionValue> values;
    std::vector<std::string_view> valued;
    for (const RowOptionText& option : RowOptionTexts()) valued.push_back(option.option);
    if (!SplitArguments("play", args, {"--convert"}, valued, &options, &values, &job->files, err))
        return ExitUsage;
    job->convert = !options.empty();
    if (job->files.empty()) return UsageError("play", "no sound files given", err);
    if (!ParseRowOptions("play", values, job->files.size(), "file", &job->choices, err))
        return ExitUsage;
    return ExitOk;
}

// A start past a file's end is a usage error, found before anything plays.
int CheckStarts(const PlayJob& job, AudioData* record, std::ostream& err) {
    for (size_t i = 0; i < job.files.size(); ++i) {
        if (job.choices[i].options.start == VoiceOptions::Start::Beginning) continue;
        VoiceLoadOutcome outcome;
        std::string why;
        bool badOption = false;
        if (!LoadRowFile(job.files[i], job.choices[i], job.convert, record, &outcome, &why,
                         &badOption) &&
            badOption)
            return UsageError("play", why, err);
    }
    return ExitOk;
}

enum class Played { Yes, Failed, DeviceLost };

// Loads file i of the job into the play slot and plays it to its end.
Played PlayFile(const PlayJob& job, size_t i, SoundEngine& engine, StopWaiter& waiter,
                AudioData* record, std::ostream& out, std::ostream& err) {
    const std::string file = Printable(job.files[i]);
    VoiceLoadOutcome outcome;
    std::string why;
    bool badOption = false;
    if (!LoadRowFile(job.files[i], job.choices[i], job.convert, record, &outcome, &why,
                     &badOption)) {
        err << why << '\n';
        return Played::Failed;
    }
    // The row is made already: faded, or kept exactly as a row file holds it.
    if (!engine.ArmSlotVoice(PlaySlotNumber, *record)) {
        err << "glwtool play: " << file << ": the sound device refused the sound\n";
        return Played::Failed;
    }
    const int frames = record->frames;
    const int stopsBefore = waiter.Stops();
    // A lost device is opened again here if it can be.
    if (!engine.PlaySlot(PlaySlotNumber)) {
        if (engine.IsDeviceLost()) return Played::DeviceLost;
        err << "glwtool play: " << file << ": the sound device did not start it\n";
        return Played::Failed;
    }
    out << "playing " << file << "  " << (record->channels == 2 ? "stereo" : "mono") << ", "
        << (outcome.converter.converted ? "converted, " : "")
        << DescribeApplied(job.choices[i], outcome, *record) << DescribeLength(frames) << '\n'
        << std::flush;
    // Well after the sound's length the device has stopped consuming.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(int64_t{frames} * 1000 / 44100) +
                          std::chrono::seconds(5);
    const bool ended = waiter.WaitBeyond(stopsBefore, deadline);
    if (engine.IsDeviceLost()) return Played::DeviceLost;
    if (!ended) {
        err << "glwtool play: " << file << ": the sound device stopped playing\n";
        return Played::Failed;
    }
    return Played::Yes;
}

}  // namespace

int RunPlay(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (AsksForMidi(args)) return RunPlayMidi(args, out, err);
    PlayJob job;
    if (const int parsed = ParsePlayArguments(args, &job, err); parsed != ExitOk) return parsed;
    const auto record = std::unique_ptr<AudioData>(new (std::nothrow) AudioData());
    if (!record) {
        err << "glwtool play: not enough memory\n";
        return ExitFailure;
    }
    if (const int checked = CheckStarts(job, record.get(), err); checked != ExitOk) return checked;

    StopWaiter waiter;
    SoundEngine engine;
    if (!OpenSoundDevice(engine, &waiter, out, err)) return ExitNoSoundDevice;

    bool failed = false;
    bool played = false;
    for (size_t i = 0; i < job.files.size(); ++i) {
        const Played result = PlayFile(job, i, engine, waiter, record.get(), out, err);
        if (result == Played::DeviceLost) return DeviceLost(err);
        failed = failed || result == Played::Failed;
        played = played || result == Played::Yes;
    }
    // The device still holds the end of the last sound in its own buffer.
    if (played) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    engine.Close();
    return failed ? ExitFailure : ExitOk;
}

bool OpenSoundDevice(SoundEngine& engine, SoundEngine::Listener* listener, std::ostream& out,
                     std::ostream& err) {
    if (!engine.Open(listener, VoiceSlotCount)) {
        err << "no sound device\n";
        return false;
    }
    out << "device: " << engine.GetDeviceName() << '\n' << std::flush;
    return true;
}

Command PlayCommand() {
    return {"play", "play sound files through the sound device, as the window does", PlayHelp,
            RunPlay};
}

}  // namespace glwtool
