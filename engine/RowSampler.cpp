#include "engine/RowSampler.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// A 16-bit sample to JACK's float scale, as OpenAL Soft converts it.
constexpr float SampleScale = 1.0f / 32768.0f;

}  // namespace

RowSampler::RowSampler() = default;

RowSampler::~RowSampler() {
    // Whoever held the sampler for a client has closed it by now.
    for (auto& row : m_rows) row.store(nullptr);
}

bool RowSampler::SetRow(int slot, const int16_t* stereo, uint32_t frames) {
    if (slot < 0 || slot >= SlotCount) return false;
    std::unique_ptr<Row> row;
    bool made = true;
    if (stereo != nullptr && frames > 0) {
        row.reset(new (std::nothrow) Row());
        if (row) row->samples.reset(new (std::nothrow) int16_t[static_cast<size_t>(frames) * 2]);
        made = row && row->samples;
        if (made) {
            std::memcpy(row->samples.get(), stereo, static_cast<size_t>(frames) * 4);
            row->frames = frames;
        } else {
            row.reset();
        }
    }
    const auto index = static_cast<size_t>(slot);
    m_rows[index].store(row.get());
    std::unique_ptr<Row> old = std::exchange(m_owned[index], std::move(row));
    const std::lock_guard lock(m_retireMutex);
    if (old) {
        try {
            m_retired.push_back({std::move(old), m_cycles.load()});
        } catch (const std::bad_alloc&) {
            // Not released at all rather than too early.
            (void)old.release();
        }
    }
    ReleaseRetired();
    return made;
}

void RowSampler::ReleaseRetired() {
    const bool rendering = m_attached.load();
    const uint64_t cycles = m_cycles.load();
    std::erase_if(m_retired, [&](const RetiredRow& retired) {
        return !rendering || cycles >= retired.cycle + 2;
    });
}

bool RowSampler::Push(const Command& command) {
    const std::lock_guard lock(m_pushMutex);
    const size_t head = m_head.load(std::memory_order_relaxed);
    if (head - m_tail.load(std::memory_order_acquire) >= QueueSize) return false;
    m_queue[head % QueueSize] = command;
    if (command.gain >= 0.0f) m_queued[static_cast<size_t>(command.slot)].fetch_add(1);
    m_head.store(head + 1, std::memory_order_release);
    return true;
}

bool RowSampler::Strike(int slot, float gain) {
    if (slot < 0 || slot >= SlotCount || !(gain >= 0.0f && gain <= 1.0f)) return false;
    if (!Live() || m_rows[static_cast<size_t>(slot)].load() == nullptr) return false;
    return Push({slot, gain});
}

void RowSampler::Stop(int slot) {
    if (slot < -1 || slot >= SlotCount || !Live()) return;
    (void)Push({slot, -1.0f});
}

bool RowSampler::IsSounding(int slot) const {
    if (slot < 0 || slot >= SlotCount) return false;
    const auto index = static_cast<size_t>(slot);
    return m_queued[index].load() > 0 || m_sounding[index].load();
}

void RowSampler::Attach() noexcept {
    // No client renders now: the voices and the queue are free to reset.
    {
        const std::lock_guard lock(m_pushMutex);
        m_tail.store(m_head.load());
        for (auto& queued : m_queued) queued.store(0);
    }
    for (Voice& voice : m_voices) voice = {};
    for (auto& sounding : m_sounding) sounding.store(false);
    m_attached.store(true);
    m_live.store(true);
}

void RowSampler::Detach() noexcept {
    m_live.store(false);
    m_attached.store(false);
    {
        const std::lock_guard lock(m_pushMutex);
        m_tail.store(m_head.load());
        for (auto& queued : m_queued) queued.store(0);
    }
    for (auto& sounding : m_sounding) sounding.store(false);
    const std::lock_guard lock(m_retireMutex);
    ReleaseRetired();
}

void RowSampler::SetSoundedNotice(std::function<void(int slot)> notice) {
    const std::lock_guard lock(m_noticeMutex);
    m_soundedNotice = std::move(notice);
}

void RowSampler::Sounded(int slot) noexcept {
    const std::lock_guard lock(m_noticeMutex);
    if (m_soundedNotice) m_soundedNotice(slot);
}

void RowSampler::Start(int slot, float gain,
                       const std::array<const Row*, SlotCount>& rows) noexcept {
    if (slot < 0 || slot >= SlotCount) return;
    const auto index = static_cast<size_t>(slot);
    if (rows[index] == nullptr) return;
    m_voices[index] = {rows[index], 0, gain * SampleScale};
}

void RowSampler::Mix(uint32_t from, uint32_t to, float* left, float* right) noexcept {
    if (to <= from) return;
    for (Voice& voice : m_voices) {
        if (voice.row == nullptr) continue;
        const uint32_t count = std::min(to - from, voice.row->frames - voice.position);
        const int16_t* in = voice.row->samples.get() + static_cast<size_t>(voice.position) * 2;
        for (uint32_t i = 0; i < count; ++i) {
            left[from + i] += static_cast<float>(in[2 * i]) * voice.gain;
            right[from + i] += static_cast<float>(in[2 * i + 1]) * voice.gain;
        }
        voice.position += count;
        if (voice.position >= voice.row->frames) voice.row = nullptr;
    }
}

void RowSampler::Render(const midi::TimedStrike* strikes, size_t count, float* left, float* right,
                        uint32_t frames) noexcept {
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    // The rows of this cycle: a voice of a row replaced since falls silent
    // here, without its samples being read again.
    std::array<const Row*, SlotCount> rows{};
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i] = m_rows[i].load(std::memory_order_acquire);
        if (m_voices[i].row != rows[i]) m_voices[i].row = nullptr;
    }
    // Strokes from other threads start at the cycle's first frame.
    std::array<int, SlotCount> taken{};
    size_t tail = m_tail.load(std::memory_order_relaxed);
    const size_t head = m_head.load(std::memory_order_acquire);
    for (; tail != head; ++tail) {
        const Command command = m_queue[tail % QueueSize];
        if (command.gain >= 0.0f) {
            Start(command.slot, command.gain, rows);
            ++taken[static_cast<size_t>(command.slot)];
        } else if (command.slot < 0) {
            for (Voice& voice : m_voices) voice.row = nullptr;
        } else {
            m_voices[static_cast<size_t>(command.slot)].row = nullptr;
        }
    }
    m_tail.store(tail, std::memory_order_release);
    // Each MIDI note at its own frame.
    uint32_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t frame = std::min(strikes[i].frame, frames);
        Mix(at, std::max(at, frame), left, right);
        at = std::max(at, frame);
        Start(strikes[i].slot, strikes[i].gain, rows);
    }
    Mix(at, frames, left, right);
    // Sounding is set before the queued strokes are taken off, so a slot
    // never looks silent in between.
    for (size_t i = 0; i < m_voices.size(); ++i) {
        m_sounding[i].store(m_voices[i].row != nullptr);
        if (taken[i] > 0) m_queued[i].fetch_sub(taken[i]);
    }
    m_cycles.fetch_add(1);
}
