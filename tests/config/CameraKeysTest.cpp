// Which physical camera each list entry means: the key file beside the list, and a
// new discovery that keeps the operator's names and recording choices.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CameraListTestSupport.h"
#include "config/CameraKeyFile.h"
#include "config/CameraListFile.h"
#include "config/KnownCameras.h"

using configtest::MakeRecord;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

DeviceInfo WithKey(DeviceInfo record, const char* key) {
    SetCameraIdentity(record, key);
    return record;
}

std::vector<DeviceInfo> ReadBack(const std::string& path) {
    DeviceInfo table[kCameraTableRecords];
    int count = 0;
    EXPECT_EQ(kCameraListRead, ReadCameraList(path, table, &count, true));
    return std::vector<DeviceInfo>(table, table + count);
}

}  // namespace

TEST(CameraKeysTest, EachEntryGetsItsKeyOnlyBesideTheListItWasSavedWith) {
    TempDir dir;
    const std::string list = dir / "CameraList.xml";
    EXPECT_EQ(CameraKeysPath(list), dir / "CameraKeys.xml");
    // Two identical webcams and one whose key is unknown.
    const std::vector<DeviceInfo> table = {MakeRecord(0, "USB Camera", "前门"),
                                           MakeRecord(1, "USB Camera", "后门"),
                                           MakeRecord(2, "Other", "侧门")};
    ASSERT_TRUE(SaveCameraList(table.data(), 3, list, {"port:1-1", "port:1-2"}));

    std::vector<DeviceInfo> read = ReadBack(list);
    ASSERT_EQ(3u, read.size());
    EXPECT_TRUE(SameIdentity(read[0], WithKey(table[0], "port:1-1")));
    EXPECT_TRUE(SameIdentity(read[1], WithKey(table[1], "port:1-2")));
    EXPECT_FALSE(SameIdentity(read[0], read[1]));
    EXPECT_FALSE(HasCameraIdentity(read[2])) << "no key saved for it";

    // A list replaced by one that names other cameras at those places (another
    // program, an older version): no stranger's key is taken.
    WriteFile(list,
              "<CameraList><Item><DeviceName>Other</DeviceName></Item>"
              "<Item><DeviceName>USB Camera</DeviceName></Item></CameraList>");
    read = ReadBack(list);
    ASSERT_EQ(2u, read.size());
    EXPECT_FALSE(HasCameraIdentity(read[0]));
    EXPECT_TRUE(SameIdentity(read[1], WithKey(table[1], "port:1-2")));

    for (const std::string body : {"", "<CameraKeys><Camera>", "not xml"}) {
        WriteFile(dir / "CameraKeys.xml", body);
        EXPECT_FALSE(HasCameraIdentity(ReadBack(list)[1])) << body;
    }
}

TEST(KnownCamerasTest, ADiscoveryKeepsTheNamesAndChoicesOfCamerasTheListHeld) {
    DeviceInfo front = WithKey(MakeRecord(0, "USB Camera", "前门"), "port:1-1");
    front.RecordFlag = 0;
    DeviceInfo back = WithKey(MakeRecord(1, "USB Camera", "后门"), "port:1-2");
    back.RecordFlag = 1;
    DeviceInfo legacy = MakeRecord(2, "Old Cam", "车库");  // listed before keys
    legacy.RecordFlag = 0;
    const std::vector<DeviceInfo> known = {front, back, legacy};

    // Found again in another order, with a fifth camera plugged in; names as the
    // library delivers them, RecordFlag as SupportRecord gives it.
    auto found = [](int index, const char* name, const char* key) {
        DeviceInfo record = WithKey(MakeRecord(index, name, name), key);
        record.RecordFlag = 1;
        return record;
    };
    std::vector<DeviceInfo> discovered = {
        found(0, "USB Camera", "port:1-2"), found(1, "USB Camera", "port:1-1"),
        found(2, "USB Camera", "port:2-1"), found(3, "Old Cam", "serial:9")};
    EXPECT_EQ(3, KeepOperatorChoices(discovered, known));
    const std::vector<std::pair<std::string, int>> expected = {
        {"后门", 1}, {"前门", 0}, {"USB Camera", 1}, {"车库", 0}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, discovered[i].CustomDeviceName) << i;
        EXPECT_EQ(expected[i].second, discovered[i].RecordFlag) << i;
    }

    // A name two discovered cameras share cannot tell which one an old entry meant.
    std::vector<DeviceInfo> twins = {found(0, "Old Cam", "a"), found(1, "Old Cam", "b")};
    EXPECT_EQ(0, KeepOperatorChoices(twins, known));
}
