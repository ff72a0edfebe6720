#include <gtest/gtest.h>

#include "CamcapTestSupport.h"
#include "camcap/DeviceRegistry.h"
#include "camcap/GstRuntime.h"

namespace {

std::vector<CameraDevice> Named(std::initializer_list<const char*> names) {
    std::vector<CameraDevice> cameras;
    for (const char* name : names) {
        CameraDevice camera;
        camera.Name = name;
        cameras.push_back(std::move(camera));
    }
    return cameras;
}

}  // namespace

TEST(DeviceRegistryTest, TwinCamerasAreToldApartByIndex) {
    const auto cameras = Named({"USB Camera", "HD Webcam", "USB Camera", "USB Camera"});
    EXPECT_EQ(DeviceRegistry::PickByNameAndIndex(cameras, "USB Camera", 2), 2);
    EXPECT_EQ(DeviceRegistry::PickByNameAndIndex(cameras, "USB Camera", 3), 3);
    EXPECT_EQ(DeviceRegistry::PickByNameAndIndex(cameras, "HD Webcam", 1), 1);
}

TEST(DeviceRegistryTest, AStaleIndexFallsBackToTheFirstOfThatName) {
    // The camera list was saved with another set of cameras plugged in.
    const auto cameras = Named({"HD Webcam", "USB Camera", "USB Camera"});
    EXPECT_EQ(DeviceRegistry::PickByNameAndIndex(cameras, "USB Camera", 0), 1);
    EXPECT_EQ(DeviceRegistry::PickByNameAndIndex(cameras, "USB Camera", 9), 1);
    EXPECT_EQ(DeviceRegistry::PickByNameAndIndex(cameras, "HD Webcam", 5), 0);
}

TEST(DeviceRegistryTest, AnUnknownNameFindsNothing) {
    const auto cameras = Named({"HD Webcam"});
    EXPECT_EQ(DeviceRegistry::PickByNameAndIndex(cameras, "USB Camera", 0), -1);
    EXPECT_EQ(DeviceRegistry::PickByNameAndIndex(cameras, nullptr, 0), -1);
    EXPECT_EQ(DeviceRegistry::PickByNameAndIndex({}, "HD Webcam", 0), -1);
}

TEST(DeviceRegistryTest, SimulatedCamerasAreFoundByNameOnly) {
    ASSERT_TRUE(GstRuntime::EnsureInitialised());  // other names probe real devices
    UseSimulatedCameras(3);
    CameraDevice device;
    const auto find = [&](const char* name, int index) {
        return DeviceRegistry::Find(RecordFor(name, name, index), name, device);
    };
    ASSERT_TRUE(find("Simulated Camera 3", 0));
    EXPECT_EQ(device.SimulatedIndex, 2);
    EXPECT_EQ(device.Key, "simulated:3");
    EXPECT_EQ(device.Mode().Width, 640);
    EXPECT_FALSE(find("Simulated Camera 4", 3));
    EXPECT_FALSE(find("", 0));
    UseSimulatedCameras(0);
    EXPECT_FALSE(find("Simulated Camera 1", 0));
}
