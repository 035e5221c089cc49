#include "midi/NoteMap.h"

#include <algorithm>

namespace midi {

float GainForVelocity(int velocity) {
    const float v = static_cast<float>(std::clamp(velocity, 1, 127)) / 127.0f;
    return v * v;
}

}  // namespace midi
