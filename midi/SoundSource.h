#pragma once

// What the JACK client plays at its own audio outputs (out_1, out_2): the
// rows, rendered inside the same process callback that reads the MIDI
// port, so that each note starts at its own frame of the cycle and sounds
// exactly one period after it. The MIDI library only drives it; the sound
// engine implements it.

#include <cstddef>
#include <cstdint>

namespace midi {

// A played note-on of this cycle as the instrument maps it.
struct TimedStrike {
    uint32_t frame = 0;  // within the cycle
    int slot = 0;        // 0 ... 15 (the row minus 1)
    float gain = 1.0f;   // GainForVelocity
};

class SoundSource {
public:
    virtual ~SoundSource() = default;

    // On JACK's real-time thread: fills left and right (frames each, written
    // over) and starts each strike at its frame; strikes are in frame order.
    // Never blocks, never allocates.
    virtual void Render(const TimedStrike* strikes, size_t count, float* left, float* right,
                        uint32_t frames) noexcept = 0;
    // A client is about to render (before it activates; no other client
    // renders meanwhile) / has stopped rendering for good (after it closed).
    virtual void Attach() noexcept = 0;
    virtual void Detach() noexcept = 0;
    // The server went away under the client (on one of JACK's threads):
    // strokes must go elsewhere from now on; Render may still run once.
    virtual void Lost() noexcept = 0;
    // Off the real-time thread, after Render started a strike of slot: the
    // owner may watch for its end.
    virtual void Sounded(int slot) noexcept = 0;
};

}  // namespace midi
