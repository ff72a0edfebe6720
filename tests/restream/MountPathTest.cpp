#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "restream/MountPath.h"

namespace {

TEST(MountPathTest, NamesArePercentEncodedAsUtf8Bytes) {
    struct Case {
        std::string name;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"Front", "/Front"},
        {"a-b.c_d~e", "/a-b.c_d~e"},
        {"Front door", "/Front%20door"},
        {"门口", "/%E9%97%A8%E5%8F%A3"},
        {"a/b?c#d%", "/a%2Fb%3Fc%23d%25"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.path, CameraNamePath(c.name)) << c.name;
}

TEST(MountPathTest, NumbersNameTheCamerasFromOne) {
    EXPECT_EQ("/cam1", CameraNumberPath(1));
    EXPECT_EQ("/cam10", CameraNumberPath(10));
}

}  // namespace
