#include "cli/MidiPlayCommand.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "audio/AudioData.h"
#include "cli/Commands.h"
#include "cli/PlayCommand.h"
#include "cli/RowChoices.h"
#include "cli/Tool.h"
#include "convert/RowOptionText.h"
#include "convert/VoiceLoad.h"
#include "engine/RowSampler.h"
#include "engine/SoundEngine.h"
#include "midi/MidiInput.h"
#include "midi/NoteMap.h"
#include "voicebank/BankName.h"
#include "voicebank/VoiceBankCheck.h"

namespace glwtool {

namespace {

constexpr const char* MidiOption = "--midi";
constexpr const char* SoundDeviceOption = "--sound-device";

// Notes and the interrupt, handed to the thread that owns the engine: the
// engine serves one thread only.
// Not a MIDI note: the sound device is to close (the JACK server went away).
constexpr int DropDeviceNote = -1;

class NoteQueue {
public:
    void Push(int note, int velocity) {
        {
            const std::lock_guard lock(m_mutex);
            m_notes.push_back({note, velocity});
        }
        m_wake.notify_one();
    }
    void Quit() {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_one();
    }
    // The next note; false once Quit was called.
    [[nodiscard]] bool Next(int* note, int* velocity) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_quit || !m_notes.empty(); });
        if (m_quit) return false;
        *note = m_notes.front().first;
        *velocity = m_notes.front().second;
        m_notes.pop_front();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<int, int>> m_notes;
    bool m_quit = false;
};

class NoReports final : public SoundEngine::Listener {
public:
    void SlotStopped(int) override {}
};

// SIGINT and SIGTERM blocked in this thread and every thread started while
// it lives (the engine's, the MIDI inputs'), so that one thread takes them
// with sigwait; the old mask comes back at the end.
class InterruptMask {
public:
    InterruptMask() {
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGINT);
        sigaddset(&m_set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
    }
    ~InterruptMask() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }
    InterruptMask(const InterruptMask&) = delete;
    InterruptMask& operator=(const InterruptMask&) = delete;
    [[nodiscard]] const sigset_t& Set() const { return m_set; }

private:
    sigset_t m_set{};
    sigset_t m_old{};
};

// Fills the engine's slots from the bank at path; false, with the reason
// written, for a bank that cannot be read or is damaged.
bool LoadBank(const std::string& path, SoundEngine& engine, std::ostream& out, std::ostream& err,
              int* exit) {
    VoiceBankReport report;
    if (!ReadBankReport("play", path, &report, err, exit)) return false;
    if (!report.valid) {
        for (const std::string& p : report.problems) err << Printable(path) << ": " << p << '\n';
        err << "glwtool play: " << Printable(path) << " is damaged; nothing plays\n";
        *exit = ExitFailure;
        return false;
    }
    for (size_t k = 0; k < VoiceSlotCount; ++k) {
        const AudioData& row = report.bank.image->voices[k];
        if (row.channels == 0) continue;
        if (!engine.ArmSlotVoice(static_cast<int>(k), row)) {
            err << "glwtool play: " << Printable(path) << ": the sound device refused row "
                << RowNumber(k) << '\n';
            *exit = ExitFailure;
            return false;
        }
        out << "row " << RowNumber(k) << "  " << (row.channels == 2 ? "stereo" : "mono") << ", "
            << DescribeLength(row.frames) << '\n';
    }
    return true;
}

// Fills rows 1, 2, ... from files as play loads them; false, with the
// reason written, when one cannot be loaded.
bool LoadFiles(const std::vector<std::string>& files, const std::vector<RowChoice>& choices,
               bool convert, SoundEngine& engine, std::ostream& out, std::ostream& err, int* exit) {
    const auto record = std::unique_ptr<AudioData>(new (std::nothrow) AudioData());
    if (!record) {
        err << "glwtool play: not enough memory\n";
        *exit = ExitFailure;
        return false;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        VoiceLoadOutcome outcome;
        std::string why;
        bool badOption = false;
        if (!LoadRowFile(files[i], choices[i], convert, record.get(), &outcome, &why, &badOption)) {
            *exit = badOption ? UsageError("play", why, err) : ExitFailure;
            if (!badOption) err << why << '\n';
            return false;
        }
        if (!engine.ArmSlotVoice(static_cast<int>(i), *record)) {
            err << "glwtool play: " << Printable(files[i])
                << ": the sound device refused the sound\n";
            *exit = ExitFailure;
            return false;
        }
        out << "row " << RowNumber(i) << "  " << Printable(files[i]) << "  "
            << DescribeApplied(choices[i], outcome, *record) << DescribeLength(record->frames)
            << '\n';
    }
    return true;
}

// What play --midi is asked to play.
struct MidiPlayRequest {
    std::vector<std::string> files;
    std::vector<RowChoice> choices;
    bool convert = false;
    bool bank = false;         // one .glw file, played as it stands
    bool soundDevice = false;  // never the JACK outputs
};

int ParseMidiPlay(const std::vector<std::string>& args, MidiPlayRequest* request,
                  std::ostream& err) {
    std::vector<std::string> options;
    std::vector<OptionValue> values;
    std::vector<std::string>& files = request->files;
    std::vector<std::string_view> valued;
    for (const RowOptionText& option : RowOptionTexts()) valued.push_back(option.option);
    if (!SplitArguments("play", args, {"--convert", MidiOption, SoundDeviceOption}, valued,
                        &options, &values, &files, err))
        return ExitUsage;
    request->convert = std::find(options.begin(), options.end(), "--convert") != options.end();
    request->soundDevice =
        std::find(options.begin(), options.end(), SoundDeviceOption) != options.end();
    if (files.empty()) return UsageError("play", "--midi needs BANK.glw or sound files", err);
    if (files.size() > VoiceSlotCount) {
        return UsageError("play", "--midi takes at most 16 files, one per row", err);
    }
    request->bank = files.size() == 1 && IsBankFileName(files[0]);
    if (request->bank && (request->convert || !values.empty())) {
        std::string refused = "--convert";
        for (const RowOptionText& option : RowOptionTexts()) {
            refused += ", ";
            refused += option.option;
        }
        return UsageError("play", "a bank plays as it stands: no " + refused, err);
    }
    if (!ParseRowOptions("play", values, files.size(), "file", &request->choices, err))
        return ExitUsage;
    return ExitOk;
}

// Plays the engine's rows as notes arrive until SIGINT or SIGTERM (blocked
// by mask) comes.
int PlayUntilInterrupted(SoundEngine& engine, bool soundDevice, const InterruptMask& mask,
                         std::ostream& out, std::ostream& err) {
    NoteQueue queue;
    midi::MidiInput input;
    // A lost JACK server: the sound device closes on this thread (the loop
    // below), which a note of its own tells.
    input.SetJackLostNotice([&queue] { queue.Push(DropDeviceNote, 0); });
    // When a JACK server runs, the rows play at the client's own outputs,
    // each JACK note from its own frame; a note that sounds there already
    // needs nothing more.
    const std::shared_ptr<RowSampler> jackRows = soundDevice ? nullptr : engine.JackRows();
    const bool listening = input.Start(
        midi::InputSettings{},
        [&queue](int note, int velocity, bool sounded) {
            if (!sounded) queue.Push(note, velocity);
        },
        jackRows);
    out << (listening ? "" : "no MIDI system found (no ALSA sequencer, no JACK server); ")
        << "playing from MIDI: note 60 plays row 01; stop with Ctrl+C\n"
        << std::flush;

    std::thread interrupts;
    try {
        interrupts = std::thread([&queue, &mask] {
            int signal = 0;
            sigwait(&mask.Set(), &signal);
            queue.Quit();
        });
    } catch (const std::system_error&) {
        err << "glwtool play: cannot wait for the interrupt\n";
        return ExitFailure;
    }
    int note = 0;
    int velocity = 0;
    while (queue.Next(&note, &velocity)) {
        if (note == DropDeviceNote) {
            // If it plays through JACK it is bound to the server that went
            // away; the next note opens the default device again.
            engine.DropDevice();
            continue;
        }
        // An empty row simply stays silent. The sequencer's notes go to the
        // JACK outputs too while they play.
        const int slot = midi::RowForNote(note) - 1;
        const float gain = midi::GainForVelocity(velocity);
        if (jackRows && jackRows->Live()) {
            (void)engine.StrikeSlot(slot, gain);
        } else {
            (void)engine.PlaySlot(slot, gain);
        }
    }
    interrupts.join();
    input.Stop();
    engine.Close();
    return ExitOk;
}

}  // namespace

bool AsksForMidi(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") return false;
        if (arg == MidiOption) return true;
    }
    return false;
}

int RunPlayMidi(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    MidiPlayRequest request;
    if (const int code = ParseMidiPlay(args, &request, err); code != ExitOk) return code;

    const InterruptMask mask;
    NoReports noReports;
    SoundEngine engine;
    if (!OpenSoundDevice(engine, &noReports, out, err)) return ExitNoSoundDevice;
    int exit = ExitOk;
    if (request.bank
            ? !LoadBank(request.files[0], engine, out, err, &exit)
            : !LoadFiles(request.files, request.choices, request.convert, engine, out, err, &exit))
        return exit;
    return PlayUntilInterrupted(engine, request.soundDevice, mask, out, err);
}

}  // namespace glwtool
