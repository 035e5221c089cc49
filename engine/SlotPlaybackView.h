#pragma once

// What the sound engine needs of the window that shows the slots: the three
// play-button operations its watcher threads call when a slot's sound ends.
//
// All three are called from watcher threads while the window's own thread
// may change the same button, and while that thread may be waiting inside
// SoundEngine::ClearSlot. So they must be safe to call from any thread, must
// only read or replace the button's image references (whole, atomically)
// and must never block on the window's thread (repaint by posting).
class SlotPlaybackView {
public:
    virtual ~SlotPlaybackView() = default;

    // The image the slot's play button currently shows in its normal state,
    // compared by identity only; null for a slot outside 0 ... 15.
    [[nodiscard]] virtual const void* GetPlayButtonImage(int slot) const = 0;

    // The window's normal image of a stopped play button.
    [[nodiscard]] virtual const void* GetStoppedPlayImage() const = 0;

    // Gives the slot's play button its stopped images and has it repainted;
    // does nothing for a slot outside 0 ... 15.
    virtual void ShowSlotStopped(int slot) = 0;
};
