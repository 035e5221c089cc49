// Run with ALSOFT_DRIVERS naming no driver: OpenAL finds no device.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "audio/AudioData.h"
#include "engine/SoundEngine.h"

namespace {

TEST(EngineWithoutDevice, OpenFailsAndNothingLoads) {
    enginetest::RecordingListener listener;
    testsupport::TempDir dir;
    SoundEngine engine;
    EXPECT_FALSE(engine.Open(&listener, 16, HostLittleEndian));
    EXPECT_EQ(engine.GetImage(), nullptr);
    EXPECT_TRUE(engine.GetDeviceName().empty());
    const std::string path = enginetest::WriteRampWav(dir, "a.wav", 1, 44100, 100);
    EXPECT_FALSE(engine.LoadSlot(0, path.c_str()));
    EXPECT_EQ(engine.CountLoadedSlots(), 0);
    EXPECT_FALSE(engine.PlaySlot(0));
    EXPECT_FALSE(engine.IsDeviceLost());
    engine.Close();
}

}  // namespace
