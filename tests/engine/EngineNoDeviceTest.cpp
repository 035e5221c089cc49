// Run with ALSOFT_DRIVERS naming no driver: OpenAL finds no device.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "audio/AudioData.h"
#include "engine/SoundEngine.h"

namespace {

TEST(EngineWithoutDevice, OpenFailsAndNothingLoads) {
    enginetest::FakePlaybackView view;
    testsupport::TempDir dir;
    SoundEngine engine;
    EXPECT_EQ(engine.Open(&view, 16, HostLittleEndian), 0);
    EXPECT_EQ(engine.GetImage(), nullptr);
    EXPECT_TRUE(engine.GetDeviceName().empty());
    const std::string path = enginetest::WriteRampWav(dir, "a.wav", 1, 44100, 100);
    EXPECT_EQ(engine.LoadSlot(0, path.c_str()), 0);
    EXPECT_EQ(engine.CountLoadedSlots(), 0);
    EXPECT_EQ(engine.PlaySlot(0), 0);
    EXPECT_EQ(engine.Close(), 1);
}

}  // namespace
