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
    EXPECT_FALSE(engine.Open(&listener, 16));
    EXPECT_FALSE(engine.IsOpen());
    EXPECT_TRUE(engine.GetDeviceName().empty());
    const std::string path = enginetest::WriteRampWav(dir, "a.wav", 1, 44100, 100);
    EXPECT_FALSE(enginetest::ArmFile(engine, 0, path));
    EXPECT_FALSE(engine.IsSlotArmed(0));
    EXPECT_FALSE(engine.PlaySlot(0));
    EXPECT_FALSE(engine.IsDeviceLost());
    engine.Close();
}

}  // namespace
