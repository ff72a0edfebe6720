// Cameras known by a stable key: derived from the device provider's properties for
// real cameras, "simulated:N" for simulated ones, and an opening with a record that
// carries an identity reaches exactly the camera of that key.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "CamcapTestSupport.h"
#include "camcap/CameraCapTesting.h"
#include "camcap/CameraKeys.h"
#include "camcap/GstRef.h"
#include "camcap/GstRuntime.h"
#include "capture/CameraCap.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kArrival = 20s;

// Simulated cameras with profiles while in scope.
class CProfiles {
public:
    explicit CProfiles(const char* profiles) { setenv("ORVEX_SIMULATED_PROFILES", profiles, 1); }
    ~CProfiles() { unsetenv("ORVEX_SIMULATED_PROFILES"); }
};

// The records and keys of the simulated cameras, in enumeration order.
struct CListing {
    std::vector<DeviceInfo> Records;
    std::vector<std::string> Keys;
};

CListing ListSimulated() {
    DeviceInfo devices[kMaxDevices];
    CameraKey keys[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDeviceKeys(devices, keys, &count);
    CListing listing;
    for (int i = 0; i < count; ++i) {
        if (std::strncmp(keys[i].Text, "simulated:", 10) != 0) continue;  // a real camera
        listing.Records.push_back(devices[i]);
        listing.Keys.emplace_back(keys[i].Text);
    }
    return listing;
}

}  // namespace

TEST(CameraKeysTest, RealCamerasAreKeyedByPortThenSerialThenNode) {
    const struct {
        const char* Case;
        std::vector<CameraKeyProperties> Devices;
        std::vector<std::string> Keys;
    } cases[] = {
        {"two identical webcams without serial on two ports",
         {{"Generic_USB_Camera", "pci-0000:00:14.0-usb-0:1:1.0", "/dev/video2"},
          {"Generic_USB_Camera", "pci-0000:00:14.0-usb-0:2:1.0", "/dev/video0"}},
         {"port:pci-0000:00:14.0-usb-0:1:1.0", "port:pci-0000:00:14.0-usb-0:2:1.0"}},
        {"two with the same bogus serial, one with its own",
         {{"Cam_0001", "pci-0000:00:14.0-usb-0:1:1.0", "/dev/video0"},
          {"Cam_0001", "pci-0000:00:14.0-usb-0:3:1.0", "/dev/video2"},
          {"Cam_8F3A21", "pci-0000:00:14.0-usb-0:4:1.0", "/dev/video4"}},
         {"port:pci-0000:00:14.0-usb-0:1:1.0", "port:pci-0000:00:14.0-usb-0:3:1.0",
          "port:pci-0000:00:14.0-usb-0:4:1.0"}},
        {"a serial where no port is known",
         {{"Cam_8F3A21", "", "/dev/video0"}},
         {"serial:Cam_8F3A21"}},
        {"none of the properties but the node",
         {{"", "", "/dev/video0"}, {"", "", "/dev/video1"}},
         {"node:/dev/video0", "node:/dev/video1"}},
        {"one port and serial for two nodes: numbered in node order",
         {{"Cam_0001", "usb-1", "/dev/video6"},
          {"Cam_0001", "usb-1", "/dev/video4"},
          {"Cam_0001", "usb-1", "/dev/video5"}},
         {"port:usb-1#3", "port:usb-1", "port:usb-1#2"}},
        {"nothing at all", {{"", "", ""}, {"", "", ""}}, {"node:", "node:#2"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeriveCameraKeys(c.Devices), c.Keys) << c.Case;
    }
    // A camera keeps its key when a twin is plugged in beside it.
    const CameraKeyProperties alone{"Generic_USB_Camera", "", "/dev/video0"};
    const CameraKeyProperties twin{"Generic_USB_Camera", "", "/dev/video2"};
    EXPECT_EQ(DeriveCameraKeys({alone})[0], DeriveCameraKeys({alone, twin})[0]);
}

TEST(CameraKeysTest, PropertiesAreReadAsTheV4l2ProviderSetsThem) {
    ASSERT_TRUE(GstRuntime::EnsureInitialised());
    const struct {
        const char* Structure;
        CameraKeyProperties Expected;
    } cases[] = {
        {"props, device.serial=(string)Cam_8F3A21, "
         "device.bus_path=(string)pci-0000:00:14.0-usb-0:1:1.0, device.path=(string)/dev/video0",
         {"Cam_8F3A21", "pci-0000:00:14.0-usb-0:1:1.0", "/dev/video0"}},
        // Without ID_PATH the provider puts the sysfs path where the bus path goes.
        {"props, device.bus_path=(string)/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/"
         "1-2:1.0/video4linux/video3, device.path=(string)/dev/video3",
         {"", "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0", "/dev/video3"}},
        // Probed without udev: only the driver's bus info names the port.
        {"props, v4l2.device.bus_info=(string)usb-0000:00:14.0-2, device.path=(string)/dev/video0",
         {"", "usb-0000:00:14.0-2", "/dev/video0"}},
    };
    for (const auto& c : cases) {
        GstStructureRef s(gst_structure_from_string(c.Structure, nullptr));
        ASSERT_TRUE(s) << c.Structure;
        const CameraKeyProperties read = CameraKeyPropertiesOf(s.get());
        EXPECT_EQ(read.Serial, c.Expected.Serial) << c.Structure;
        EXPECT_EQ(read.Port, c.Expected.Port) << c.Structure;
        EXPECT_EQ(read.Node, c.Expected.Node) << c.Structure;
    }
    EXPECT_EQ(CameraKeyPropertiesOf(nullptr).Node, "");
}

TEST(CameraKeysTest, EnumeratedKeysAreTheRecordsIdentitiesWhateverThePlugOrder) {
    UseSimulatedCameras(3);
    CSimulatedDevices devices;
    const int order[] = {2, 0, 1};
    CameraCapTest_SimulatedPlugOrder(order, 3);
    const CListing listing = ListSimulated();
    ASSERT_EQ(listing.Keys,
              (std::vector<std::string>{"simulated:3", "simulated:1", "simulated:2"}));
    for (size_t i = 0; i < listing.Keys.size(); ++i) {
        DeviceInfo keyed;
        ZeroDeviceInfo(keyed);
        SetCameraIdentity(keyed, listing.Keys[i]);
        EXPECT_TRUE(SameIdentity(listing.Records[i], keyed)) << listing.Keys[i];
    }
    EXPECT_STREQ(listing.Records[0].DeviceName, "Simulated Camera 3");
}

TEST(CameraKeysTest, ARecordWithAnIdentityOpensTheCameraOfItsKeyAfterAReplug) {
    // Two identical webcams: one name, told apart only by their keys.
    UseSimulatedCameras(2);
    CProfiles profiles("1:yuyv,2:yuyv");
    CSimulatedDevices devices;
    const CListing listing = ListSimulated();
    ASSERT_EQ(listing.Keys.size(), 2u);
    ASSERT_EQ(listing.Keys[0], "simulated:1");
    EXPECT_STREQ(listing.Records[0].DeviceName, listing.Records[1].DeviceName);

    // Plugged in the other way round since the list was made.
    const int swapped[] = {1, 0};
    CameraCapTest_SimulatedPlugOrder(swapped, 2);
    const int made[2] = {CameraCapTest_SimulatedSourcesMade(0),
                         CameraCapTest_SimulatedSourcesMade(1)};
    CCopyingTarget target;
    const int32_t byIdentity =
        CameraCap_Open(&target, &listing.Records[0], nullptr, nullptr, nullptr);
    ASSERT_GE(byIdentity, 0);
    EXPECT_TRUE(target.WaitForFrames(1, kArrival));
    EXPECT_EQ(CameraCapTest_SimulatedSourcesMade(0), made[0] + 1) << "not the camera of its key";
    EXPECT_EQ(CameraCapTest_SimulatedSourcesMade(1), made[1]);

    // The same record without identity goes by name and position, which now hold the
    // other camera: the reason for keys.
    DeviceInfo byName = listing.Records[0];
    byName.Reserved1 = byName.Reserved2 = byName.Reserved3 = 0;
    const int32_t other = CameraCap_Open(nullptr, &byName, nullptr, nullptr, nullptr);
    ASSERT_GE(other, 0);
    EXPECT_EQ(CameraCapTest_SimulatedSourcesMade(1), made[1] + 1);
    // A second opening of the first key shares its capture instead of a second stream.
    const int32_t shared = CameraCap_Open(nullptr, &listing.Records[0], nullptr, nullptr, nullptr);
    ASSERT_GE(shared, 0);
    EXPECT_EQ(CameraCapTest_SimulatedStreams(0), 1);
    for (int32_t handle : {byIdentity, other, shared}) EXPECT_EQ(CameraCap_Close(handle), 0);
}
