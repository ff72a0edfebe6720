// Motion settings kept per camera beside the camera list.
#include <gtest/gtest.h>

#include <string>

#include "CameraListTestSupport.h"
#include "config/MotionSettingsFile.h"

using configtest::MakeRecord;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(MotionSettingsFileTest, SettingsFollowTheCameraNotItsPlace) {
    TempDir dir;
    const std::string path = MotionSettingsPath(dir / "CameraList.xml");
    EXPECT_EQ(path, dir / "MotionSettings.xml");

    DeviceInfo front = MakeRecord(0, "USB Camera", "前门");
    SetCameraIdentity(front, "port:1-1");
    DeviceInfo back = MakeRecord(1, "USB Camera", "后门");
    SetCameraIdentity(back, "port:1-2");
    const DeviceInfo old = MakeRecord(2, "Old Camera", "仓库");  // a record without keys

    MotionSettings watched;
    watched.Enabled = true;
    watched.MinAreaPct = 2.5;
    watched.MotionOnlyRecording = true;
    watched.Excluded.set(MotionSettings::Cell(0, 0));
    watched.Excluded.set(MotionSettings::Cell(15, 11));
    MotionSettings oldOne;
    oldOne.Enabled = true;
    MotionSettingsTable table = {{MotionSettingsKey(front), watched},
                                 {MotionSettingsKey(old), oldOne}};
    ASSERT_TRUE(SaveMotionSettings(path, table));

    const MotionSettingsTable read = LoadMotionSettings(path);
    EXPECT_EQ(table, read);
    // The front door moved to another place in the list keeps its settings; its twin
    // of the same name does not take them.
    front.DeviceIndex = 5;
    EXPECT_EQ(watched, MotionSettingsFor(read, front));
    EXPECT_EQ(MotionSettings{}, MotionSettingsFor(read, back));
    EXPECT_EQ(oldOne, MotionSettingsFor(read, old));
}

TEST(MotionSettingsFileTest, BadValuesKeepTheirDefaults) {
    TempDir dir;
    const std::string path = dir / "MotionSettings.xml";
    struct Case {
        const char* Entry;
        MotionSettings Expected;
    };
    MotionSettings on;
    on.Enabled = true;
    const Case cases[] = {
        {"<Enabled>1</Enabled><MinAreaPct>0</MinAreaPct>", on},
        {"<Enabled>1</Enabled><MinAreaPct>abc</MinAreaPct>", on},
        {"<Enabled>1</Enabled><MinAreaPct>nan</MinAreaPct>", on},
        {"<Enabled>1</Enabled><MinAreaPct>60</MinAreaPct>", on},
        {"<Enabled>1</Enabled><Excluded>0101</Excluded>", on},
        {"<Enabled>yes</Enabled><Recording>sometimes</Recording>", MotionSettings{}},
    };
    for (const Case& c : cases) {
        WriteFile(path, std::string("<MotionSettings><Camera><Key>id:1</Key>") + c.Entry +
                            "</Camera><Camera><Enabled>1</Enabled></Camera></MotionSettings>");
        const MotionSettingsTable read = LoadMotionSettings(path);
        ASSERT_EQ(1u, read.size()) << c.Entry << ": an entry without a key is skipped";
        EXPECT_EQ(c.Expected, read.at("id:1")) << c.Entry;
    }
    WriteFile(path, "not xml");
    EXPECT_TRUE(LoadMotionSettings(path).empty());
}
