// The note-to-row mapping and the velocity curve, and glwtool play --midi on
// a real JACK server: notes sent to its port play the rows they name, in
// the order sent, at its own outputs exactly one period after each note's
// frame, and play again after the server restarts.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "JackProbe.h"
#include "SoundFileWriter.h"
#include "midi/MidiInput.h"
#include "midi/NoteMap.h"

namespace {

using namespace std::chrono_literals;

TEST(NoteMap, EveryNotePlaysTheRowTheInstrumentMapsItTo) {
    for (int row = 1; row <= 16; ++row) EXPECT_EQ(midi::RowForNote(59 + row), row);
    EXPECT_EQ(midi::RowForNote(59), 16);
    EXPECT_EQ(midi::RowForNote(44), 1);
    EXPECT_EQ(midi::RowForNote(0), 5);
    EXPECT_EQ(midi::RowForNote(127), 4);
    for (int note = 0; note <= 127; ++note) {
        const int row = midi::RowForNote(note);
        ASSERT_GE(row, 1) << "note " << note;
        ASSERT_LE(row, 16) << "note " << note;
        if (note + 16 <= 127) {
            ASSERT_EQ(midi::RowForNote(note + 16), row) << "note " << note;
        }
    }
}

TEST(NoteMap, VelocityCurveRisesToTheRowAsMade) {
    EXPECT_EQ(midi::GainForVelocity(127), 1.0f);
    EXPECT_GT(midi::GainForVelocity(1), 0.0f);
    for (int v = 2; v <= 127; ++v) {
        ASSERT_GT(midi::GainForVelocity(v), midi::GainForVelocity(v - 1)) << "velocity " << v;
    }
}

TEST(NoteMap, OnlyNoteOnsWithAVelocityOnTheChosenChannelPlay) {
    const midi::InputSettings any;
    midi::InputSettings ten;
    ten.channel = 10;
    EXPECT_TRUE(midi::IsPlayedNoteOn(0x90, 100, any));
    EXPECT_TRUE(midi::IsPlayedNoteOn(0x9F, 1, any));
    EXPECT_FALSE(midi::IsPlayedNoteOn(0x90, 0, any));  // a note-off by running status
    EXPECT_FALSE(midi::IsPlayedNoteOn(0x80, 64, any));
    EXPECT_FALSE(midi::IsPlayedNoteOn(0xB0, 64, any));
    EXPECT_TRUE(midi::IsPlayedNoteOn(0x99, 64, ten));
    EXPECT_FALSE(midi::IsPlayedNoteOn(0x90, 64, ten));
}

// A row of one constant level, so that the output tells which row sounds.
std::string WriteLevelWav(const testsupport::TempDir& dir, const std::string& name, int16_t level) {
    testsupport::Pcm pcm;
    pcm.samples.assign(44100 * 15 / 100, level);
    const std::string path = dir.file(name);
    return testsupport::WriteFile(path, testsupport::MakeWav(pcm)) ? path : std::string();
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    const bool ended =
        jackprobe::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000ms);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Sends the sound of programs started from here to the JACK server.
bool SoundThroughJack(const testsupport::TempDir& dir) {
    setenv("ALSOFT_DRIVERS", "jack", 1);
    // OpenAL Soft's JACK backend leaves one block of its own at exit, which
    // LeakSanitizer builds would count against glwtool.
    const std::string leaks = dir.file("lsan.supp");
    setenv("LSAN_OPTIONS", ("suppressions=" + leaks).c_str(), 1);
    return testsupport::WriteFile(
        leaks, {'l', 'e', 'a', 'k', ':', 'l', 'i', 'b', 'o', 'p', 'e', 'n', 'a', 'l', '\n'});
}

std::string ReadLog(const std::string& path) {
    const testsupport::Bytes log = testsupport::ReadFile(path);
    return std::string(log.begin(), log.end());
}

constexpr const char* NoJackServer =
    "no JACK server could start here (jackd -d dummy); install jackd2 to run this test";

// PADS.glw, built by glwtool from ROW=FILE arguments; empty when the build
// failed.
std::string BuildPads(const testsupport::TempDir& dir, const std::vector<std::string>& rows) {
    const std::string bank = dir.file("PADS.glw");
    std::vector<std::string> args = {GLWTOOL_PATH, "build", bank};
    args.insert(args.end(), rows.begin(), rows.end());
    return WaitExit(Spawn(args, dir.file("build.log"))) == 0 ? bank : std::string();
}

TEST(MidiOnJack, NotesPlayTheirRowsInTheOrderSent) {
    testsupport::TempDir dir;
    const jackprobe::Server server("glw-test-" + std::to_string(getpid()));
    if (!server.Running()) {
        GTEST_SKIP() << NoJackServer;
    }
    const std::vector<int16_t> levels = {6000, 14000, 22000};  // rows 1, 2, 16
    const std::string bank = BuildPads(dir, {"1=" + WriteLevelWav(dir, "a.wav", levels[0]),
                                             "2=" + WriteLevelWav(dir, "b.wav", levels[1]),
                                             "16=" + WriteLevelWav(dir, "c.wav", levels[2])});
    ASSERT_FALSE(bank.empty()) << "glwtool build failed";

    ASSERT_TRUE(SoundThroughJack(dir));
    const pid_t player = Spawn({GLWTOOL_PATH, "play", "--midi", bank}, dir.file("play.log"));
    ASSERT_GT(player, 0);
    jackprobe::Probe probe(3.0);
    ASSERT_TRUE(probe.Ok());
    if (!probe.ConnectToProgram(10000ms)) {
        kill(player, SIGKILL);
        waitpid(player, nullptr, 0);
        const testsupport::Bytes log = testsupport::ReadFile(dir.file("play.log"));
        FAIL() << "glwtool's MIDI port or its sound device's outputs did not appear; it said:\n"
               << std::string(log.begin(), log.end());
    }
    probe.StartRecording();
    std::vector<long> sent;
    const int offsets[] = {0, 77, 255};  // frames within the cycle
    for (const int note : {60, 61, 59}) {
        sent.push_back(probe.SendNoteOn(note, 127, offsets[sent.size()]));
        ASSERT_GE(sent.back(), 0);
        std::this_thread::sleep_for(400ms);  // longer than a row: each sounds alone
    }
    ASSERT_TRUE(jackprobe::WaitFor([&] { return probe.Full(); }, 10000ms));
    // Each from its own frame, not from the cycle's start.
    for (const long at : sent) EXPECT_EQ(probe.FirstSound(at) - at, jackprobe::Period) << at;

    kill(player, SIGINT);
    EXPECT_EQ(WaitExit(player), 0);
    // The client has left the server with the program.
    jackprobe::Probe after(0.1);
    EXPECT_FALSE(after.ConnectToProgram(200ms));

    std::vector<int> rows;
    long from = sent.front();
    while (rows.size() < 4) {
        const long start = probe.FirstSound(from);
        if (start < 0) break;
        // The level well inside the row, after its first frames.
        const float level = probe.Recording()[static_cast<size_t>(start) + 200] * 32768.0f;
        const auto nearest = std::min_element(levels.begin(), levels.end(), [&](int a, int b) {
            return std::fabs(static_cast<float>(a) - level) <
                   std::fabs(static_cast<float>(b) - level);
        });
        rows.push_back(std::vector<int>{1, 2, 16}[static_cast<size_t>(nearest - levels.begin())]);
        from = start + 44100 * 2 / 10;  // past this row's sound
        while (from < static_cast<long>(probe.Recorded()) &&
               std::fabs(probe.Recording()[static_cast<size_t>(from)]) > 0.01f)
            ++from;
    }
    EXPECT_EQ(rows, (std::vector<int>{1, 2, 16}));
}

// The loudest 16-bit sample of the wave file OpenAL Soft's file writer
// made; -1 when the file has no data chunk.
int LoudestSample(const testsupport::Bytes& wav) {
    for (size_t at = 12; at + 8 <= wav.size();) {
        const size_t size = wav[at + 4] | wav[at + 5] << 8 | wav[at + 6] << 16 |
                            static_cast<size_t>(wav[at + 7]) << 24;
        if (std::string(wav.begin() + static_cast<long>(at),
                        wav.begin() + static_cast<long>(at) + 4) != "data") {
            at += 8 + size + (size & 1);
            continue;
        }
        int loudest = 0;
        for (size_t i = at + 8; i + 1 < wav.size() && i < at + 8 + size; i += 2) {
            const auto sample = static_cast<int16_t>(wav[i] | wav[i + 1] << 8);
            loudest = std::max(loudest, std::abs(static_cast<int>(sample)));
        }
        return loudest;
    }
    return -1;
}

// The server stopping and starting again while glwtool plays: its MIDI
// port is back within 2 s of the server's return and notes sound again.
// The sound goes to a file on the sound device, away from the server.
TEST(MidiOnJack, NotesPlayAgainAfterTheServerRestarts) {
    testsupport::TempDir dir;
    const std::string serverName = "glw-restart-" + std::to_string(getpid());
    auto server = std::make_unique<jackprobe::Server>(serverName);
    if (!server->Running()) {
        GTEST_SKIP() << NoJackServer;
    }
    const std::string bank = BuildPads(dir, {"1=" + WriteLevelWav(dir, "a.wav", 20000)});
    ASSERT_FALSE(bank.empty()) << "glwtool build failed";
    const std::string config = dir.file("alsoft.conf"), sound = dir.file("sound.wav");
    const std::string text = "[general]\nsample-type = int16\n[wave]\nfile = " + sound + "\n";
    ASSERT_TRUE(testsupport::WriteFile(config, testsupport::Bytes(text.begin(), text.end())));
    setenv("ALSOFT_CONF", config.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
    const pid_t player =
        Spawn({GLWTOOL_PATH, "play", "--midi", "--sound-device", bank}, dir.file("play.log"));
    unsetenv("ALSOFT_CONF");
    ASSERT_GT(player, 0);
    const auto endPlayer = [&] {
        kill(player, SIGINT);
        return WaitExit(player);
    };
    {
        jackprobe::Probe before(0.1);
        const bool up = before.Ok() && before.ConnectMidi(10000ms);
        if (!up) endPlayer();
        ASSERT_TRUE(up) << ReadLog(dir.file("play.log"));
    }  // this process's own client leaves before the server goes

    server.reset();
    server = std::make_unique<jackprobe::Server>(serverName);
    ASSERT_TRUE(server->Running());
    jackprobe::Probe probe(10.0);
    ASSERT_TRUE(probe.Ok());
    const bool portBack = probe.ConnectMidi(2000ms);
    probe.StartRecording();
    for (int i = 0; portBack && i < 3; ++i) {
        EXPECT_GE(probe.SendNoteOn(60, 127), 0);
        std::this_thread::sleep_for(300ms);  // longer than the row
    }
    const int exit = endPlayer();
    const std::string log = ReadLog(dir.file("play.log"));
    ASSERT_TRUE(portBack) << "the MIDI port did not come back within 2 s\n" << log;
    // No note was sent before the restart: any sound is a note after it.
    EXPECT_GT(LoudestSample(testsupport::ReadFile(sound)), 10000)
        << "no sound from the notes sent after the restart\n"
        << log;
    EXPECT_EQ(exit, 0) << log;
}

// The same with the sound on JACK too, as OpenAL Soft picks when a server
// runs: the sound device, bound to the server that went away, closes first,
// then MIDI rejoins within 2 s, and the next note opens the device on the
// new server, where the notes after it are heard. glwtool ends cleanly.
TEST(MidiOnJack, NotesSoundAtJackAgainAfterTheServerRestarts) {
    testsupport::TempDir dir;
    const std::string serverName = "glw-restart-jack-" + std::to_string(getpid());
    auto server = std::make_unique<jackprobe::Server>(serverName);
    if (!server->Running()) {
        GTEST_SKIP() << NoJackServer;
    }
    const std::string bank = BuildPads(dir, {"1=" + WriteLevelWav(dir, "a.wav", 20000)});
    ASSERT_FALSE(bank.empty()) << "glwtool build failed";
    ASSERT_TRUE(SoundThroughJack(dir));
    const pid_t player = Spawn({GLWTOOL_PATH, "play", "--midi", bank}, dir.file("play.log"));
    ASSERT_GT(player, 0);
    const auto endPlayer = [&] {
        kill(player, SIGINT);
        return WaitExit(player);
    };
    {
        jackprobe::Probe before(0.1);
        const bool up = before.Ok() && before.ConnectToProgram(10000ms);
        if (!up) endPlayer();
        ASSERT_TRUE(up) << ReadLog(dir.file("play.log"));
    }

    server.reset();
    server = std::make_unique<jackprobe::Server>(serverName);
    ASSERT_TRUE(server->Running());
    jackprobe::Probe probe(10.0);
    ASSERT_TRUE(probe.Ok());
    const bool portBack = probe.ConnectMidi(2000ms);
    probe.StartRecording();
    // A note opens the sound device again; its outputs appear then. A note
    // sent at once after connecting may go before the server's graph has
    // the connection: another follows.
    const bool soundBack =
        portBack &&
        jackprobe::WaitFor(
            [&] { return probe.SendNoteOn(60, 127) >= 0 && probe.ConnectToProgram(300ms); },
            3000ms);
    long heard = -1;
    for (int i = 0; soundBack && heard < 0 && i < 3; ++i) {
        const long sent = probe.SendNoteOn(60, 127);
        if (sent < 0) break;
        (void)jackprobe::WaitFor([&] { return (heard = probe.FirstSound(sent)) >= 0; }, 500ms);
    }
    const int exit = endPlayer();
    const std::string log = ReadLog(dir.file("play.log"));
    ASSERT_TRUE(portBack) << "the MIDI port did not come back within 2 s\n" << log;
    ASSERT_TRUE(soundBack) << "the sound device did not come back on JACK\n" << log;
    EXPECT_GE(heard, 0) << "no sound at JACK from the notes after the restart\n" << log;
    EXPECT_EQ(exit, 0) << log;
}

}  // namespace
