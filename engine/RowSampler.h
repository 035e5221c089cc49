#pragma once

// The rows as an instrument on the program's own JACK outputs: a
// SoundSource the MIDI input's JACK client renders in its process
// callback. One voice per row, as with the sound device: a stroke of a row
// still sounding restarts it; rows sound together, summed as floats.
//
// Threads: SetRow runs on one thread (the engine's); Strike, Stop and the
// queries on any; Render on JACK's real-time thread, which takes no lock
// and allocates nothing. A row is immutable once set: the real-time thread
// reads it through an atomic pointer, so it sees the old row or the new,
// never part of each. A replaced row is released by the setting thread,
// and only once two cycles have ended since (the second started after the
// swap and dropped every voice still playing it) or no client renders.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "midi/SoundSource.h"

class RowSampler final : public midi::SoundSource {
public:
    static constexpr int SlotCount = 16;

    RowSampler();
    ~RowSampler() override;
    RowSampler(const RowSampler&) = delete;
    RowSampler& operator=(const RowSampler&) = delete;

    // The slot's row from interleaved 16-bit stereo (frames frames, copied);
    // null or 0 frames empties it. A voice playing the former row falls
    // silent at the next cycle. False (and the slot empty) for a bad slot or
    // when memory is short.
    bool SetRow(int slot, const int16_t* stereo, uint32_t frames);

    // Whether a JACK client renders the rows now: strokes sound there.
    [[nodiscard]] bool Live() const { return m_live.load(); }
    // A stroke that starts at the next cycle's first frame (pads, the
    // sequencer's notes). False when no client renders, for an empty or bad
    // slot, or when strokes come faster than the cycles take them.
    [[nodiscard]] bool Strike(int slot, float gain);
    // Silences the slot (-1: every slot) at the next cycle.
    void Stop(int slot);
    // From a stroke queued or started until its row has played out.
    [[nodiscard]] bool IsSounding(int slot) const;
    // Told (off the real-time thread) each time a MIDI note of the JACK
    // client started a row. Once it is replaced, the former notice is not
    // running and is not called again.
    void SetSoundedNotice(std::function<void(int slot)> notice);

    void Render(const midi::TimedStrike* strikes, size_t count, float* left, float* right,
                uint32_t frames) noexcept override;
    void Attach() noexcept override;
    void Detach() noexcept override;
    void Lost() noexcept override { m_live.store(false); }
    void Sounded(int slot) noexcept override;

private:
    struct Row {
        std::unique_ptr<int16_t[]> samples;  // interleaved stereo
        uint32_t frames = 0;
    };
    struct Voice {
        const Row* row = nullptr;  // null: silent
        uint32_t position = 0;
        float gain = 0.0f;
    };
    // A stroke (gain >= 0) or a stop (gain < 0; slot -1 for all).
    struct Command {
        int slot = 0;
        float gain = 0.0f;
    };
    struct RetiredRow {
        std::unique_ptr<Row> row;
        uint64_t cycle = 0;  // cycles ended when it was swapped out
    };
    static constexpr size_t QueueSize = 256;

    bool Push(const Command& command);
    // The real-time thread's own: mixes every voice over [from, to).
    void Mix(uint32_t from, uint32_t to, float* left, float* right) noexcept;
    void Start(int slot, float gain, const std::array<const Row*, SlotCount>& rows) noexcept;
    void ReleaseRetired();  // under m_retireMutex

    std::array<std::atomic<const Row*>, SlotCount> m_rows{};
    std::array<std::unique_ptr<Row>, SlotCount> m_owned;  // the setting thread's
    std::array<Voice, SlotCount> m_voices{};              // the real-time thread's
    std::array<std::atomic<bool>, SlotCount> m_sounding{};
    std::array<std::atomic<int>, SlotCount> m_queued{};
    // Single-consumer queue: writers take m_pushMutex among themselves, the
    // real-time thread only reads.
    std::array<Command, QueueSize> m_queue{};
    std::atomic<size_t> m_head{0};
    std::atomic<size_t> m_tail{0};
    std::mutex m_pushMutex;
    std::atomic<uint64_t> m_cycles{0};
    std::atomic<bool> m_live{false};
    std::atomic<bool> m_attached{false};
    std::mutex m_retireMutex;
    std::vector<RetiredRow> m_retired;
    std::mutex m_noticeMutex;
    std::function<void(int)> m_soundedNotice;
};
