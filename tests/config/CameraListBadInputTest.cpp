// Files a crash, a full disk, an editor or an attacker could leave in CameraList.xml:
// each loads nothing or the first ten cameras, and never crashes, hangs or overruns.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/MonitorApp.h"
#include "common/Messages.h"
#include "config/CameraListFile.h"
#include "config/CameraListTestSupport.h"
#include "support/TestSupport.h"

using configtest::FinishesWithin;
using configtest::ListWindow;
using configtest::MakeRecord;
using configtest::NamesTerminated;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

constexpr std::chrono::seconds kParseBound{60};  // generous: a good parse takes milliseconds

struct Outcome {
    int Result = 1;  // none of the kCameraList* results
    int Count = -1;
    std::vector<DeviceInfo> Records;
};

Outcome Read(const std::string& path) {
    Outcome outcome;
    DeviceInfo table[kCameraTableRecords];
    outcome.Result = ReadCameraList(path, table, &outcome.Count, true);
    if (outcome.Count > 0) outcome.Records.assign(table, table + outcome.Count);
    return outcome;
}

std::string ItemText(int index) {
    return "    <Item>\n        <DeviceIndex>" + std::to_string(index) +
           "</DeviceIndex>\n        <DeviceName>USB Camera " + std::to_string(index) +
           "</DeviceName>\n        <CustomDeviceName>摄像头 " + std::to_string(index) +
           "</CustomDeviceName>\n        <Width>640</Width>\n        <Height>480</Height>\n"
           "        <FrameRate>30</FrameRate>\n    </Item>\n";
}

std::string ListOf(int items) {
    std::string text = "<?xml version=\"1.0\" ?>\n<CameraList>\n";
    for (int i = 0; i < items; ++i) text += ItemText(i);
    return text + "</CameraList>\n";
}

class CameraListBadInputTest : public ::testing::Test {
protected:
    std::string Path() const { return dir_ / "CameraList.xml"; }

    Outcome ReadText(const std::string& content) {
        WriteFile(Path(), content);
        return Read(Path());
    }

    // Reads content on a thread of its own, failing if the read does not end in time.
    Outcome ReadBounded(const std::string& content) {
        WriteFile(Path(), content);
        auto outcome = std::make_shared<Outcome>();
        const std::string path = Path();
        const bool finished =
            FinishesWithin(kParseBound, [outcome, path] { *outcome = Read(path); });
        EXPECT_TRUE(finished) << "reading did not end within " << kParseBound.count() << " s";
        return finished ? *outcome : Outcome{};
    }

    void ExpectFirstTen(const Outcome& outcome) {
        EXPECT_EQ(outcome.Result, kCameraListRead);
        ASSERT_EQ(outcome.Count, kCameraTableRecords);
        for (int i = 0; i < kCameraTableRecords; ++i) {
            EXPECT_EQ(outcome.Records[i].DeviceIndex, i);
            EXPECT_EQ(std::string(outcome.Records[i].CustomDeviceName),
                      "摄像头 " + std::to_string(i));
        }
    }

    TempDir dir_;
};

bool LoadsNothing(const Outcome& outcome) {
    return outcome.Count == 0 &&
           (outcome.Result == kCameraListNotLoaded || outcome.Result == kCameraListRefused ||
            outcome.Result == kCameraListNoRoot);
}

}  // namespace

TEST_F(CameraListBadInputTest, TruncatedFileNeverYieldsCameras) {
    // Every length a write cut short by a crash or a full disk could leave.
    const std::string whole = ListOf(2);
    for (size_t length = 0; length + 1 < whole.size(); ++length) {
        const Outcome outcome = ReadText(whole.substr(0, length));
        EXPECT_TRUE(LoadsNothing(outcome))
            << "cut at " << length << ": result " << outcome.Result << ", " << outcome.Count;
    }
    EXPECT_EQ(ReadText(whole.substr(0, whole.size() - 1)).Count, 2)
        << "only the last LF is missing";
}

TEST_F(CameraListBadInputTest, MalformedMarkupLoadsNothing) {
    const std::string declaration = "<?xml version=\"1.0\" ?>\n";
    const std::vector<std::string> inputs = {
        "",
        "   \n\t\n",
        "not xml at all",
        "{\"CameraList\": [{\"DeviceIndex\": 0}]}",
        "DeviceIndex=0\nDeviceName=Cam\n",
        "<<<>>>",
        "<!",
        "</CameraList>",
        declaration + "<CameraList><Item></CameraList>",
        declaration + "<CameraList><Item><DeviceIndex>1</DeviceIndex></Item>",
        declaration + "<CameraList><Item><DeviceName>&#x</DeviceName></Item></CameraList>",
        declaration + "<CameraList><Item a=\"1\" a=\"2\"></Item></CameraList>",
        declaration + "<CameraList a=b\"c\"></CameraList>",
        // Ends inside constructs that TinyXML reads a few bytes past the terminator.
        declaration + "<CameraList><!-- no end",
        declaration + "<CameraList><![CDATA[no end",
        declaration + "<CameraList><Item a=\"no end",
        declaration + "<CameraList><Item>no end",
        declaration + "<CameraList><Item><DeviceName>摄像",
    };
    for (const std::string& input : inputs) {
        const Outcome outcome = ReadText(input);
        EXPECT_TRUE(LoadsNothing(outcome)) << input << ": result " << outcome.Result;
    }
}

TEST_F(CameraListBadInputTest, HundredThousandNestedLevelsAreRefusedUnparsed) {
    // TinyXML recurses per level; this depth would overflow the loader thread's stack.
    std::string open, close;
    for (int i = 0; i < 100000; ++i) {
        open += "<Item>";
        close += "</Item>";
    }
    const std::string declaration = "<?xml version=\"1.0\" ?>\n";
    EXPECT_EQ(ReadBounded(declaration + "<CameraList>" + open).Result, kCameraListRefused);
    EXPECT_EQ(ReadBounded(declaration + "<CameraList>" + open + close + "</CameraList>").Result,
              kCameraListRefused);
}

TEST_F(CameraListBadInputTest, LongerListsGiveTheFirstTenUntilTheyPassTheBounds) {
    // Up to kXmlMaxMarkup '<' (and kXmlMaxBytes) a list is read and cut to ten cameras;
    // beyond, it is refused unparsed, however well formed.
    const struct {
        int Items;
        bool Read;
    } cases[] = {{10, true}, {11, true}, {72, true}, {73, false}, {20000, false}};
    for (const auto& c : cases) {
        const Outcome outcome = ReadBounded(ListOf(c.Items));
        if (c.Read) {
            ExpectFirstTen(outcome);
        } else {
            EXPECT_EQ(outcome.Result, kCameraListRefused) << c.Items << " items";
        }
    }
}

TEST_F(CameraListBadInputTest, BinaryGarbageLoadsNothing) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20; ++round) {
        std::string garbage(64 * 1024, '\0');
        for (char& c : garbage) c = static_cast<char>(byte(random));
        if (round % 2 == 1) garbage.insert(0, "<?xml version=\"1.0\" ?>\n<CameraList>\n<Item>");
        const Outcome outcome = ReadBounded(garbage);
        EXPECT_TRUE(LoadsNothing(outcome)) << "round " << round << ": " << outcome.Result;
    }
}

TEST_F(CameraListBadInputTest, MarkupSoupStaysWithinTheTable) {
    // Random markup fragments around real items: whatever parses, stays in bounds.
    const std::vector<std::string> pieces = {"<Item>",
                                             "</Item>",
                                             "<DeviceName>",
                                             "</DeviceName>",
                                             "<Width>",
                                             "</Width>",
                                             "640",
                                             "摄像头",
                                             "&amp;",
                                             "&#x41;",
                                             "&#",
                                             "<!--",
                                             "-->",
                                             "<![CDATA[",
                                             "]]>",
                                             "<?xml ",
                                             "?>",
                                             "<!DOCTYPE a>",
                                             "\"",
                                             "'",
                                             "=",
                                             " a=\"1\"",
                                             "/>",
                                             ">",
                                             "<",
                                             "\n",
                                             "\r\n",
                                             "\r",
                                             " ",
                                             "<Item/>",
                                             "</CameraList>",
                                             "<CameraList>"};
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    for (int round = 0; round < 300; ++round) {
        std::string text = "<?xml version=\"1.0\" ?>\n<CameraList>\n" + ItemText(round);
        for (int k = 0; k < 60; ++k) text += pieces[pick(random)];
        const Outcome outcome = ReadBounded(text);
        ASSERT_LE(outcome.Count, kCameraTableRecords);
        for (const DeviceInfo& record : outcome.Records) EXPECT_TRUE(NamesTerminated(record));
    }
}

// CVE-2021-42260: TinyXML's TiXmlParsingData::Stamp loops forever over a 0xEF lead byte
// that is followed by the end of the text within two bytes, in UTF-8 mode (here set by
// the declaration or a byte-order mark). The attribute error after "\xEF " makes the
// parser stamp the error position, walking over that byte. Crafted from the public
// description of the flaw (tinyxml bug 141 on SourceForge, the NVD entry).
TEST_F(CameraListBadInputTest, StampLoopInputOfCve2021_42260DoesNotHang) {
    const std::vector<std::string> inputs = {
        "<?xml version=\"1.0\" ?>\n<CameraList>\n    <Item \xEF ",
        "\xEF\xBB\xBF<CameraList><Item \xEF ",
        "<?xml version=\"1.0\" ?>\n<CameraList>\n    <Item \xEF",
    };
    for (const std::string& input : inputs) {
        EXPECT_TRUE(LoadsNothing(ReadBounded(input)));
    }
}

// CVE-2023-34194: TiXmlDeclaration::Parse skips white space to the end of the text and
// hands the terminator to StringEqual, whose assertion ends the process. Crafted from
// the public description (a '\0' right after white space inside a declaration). The
// TinyXML of the supported distribution carries the fix; this proves it.
TEST_F(CameraListBadInputTest, DeclarationAssertInputOfCve2023_34194DoesNotAbort) {
    const std::vector<std::string> inputs = {
        "<?xml ",
        "<?xml version=\"1.0\" ",
        "<?xml version=\"1.0\" ?>\n<CameraList>\n<?xml \n",
    };
    for (const std::string& input : inputs) {
        EXPECT_TRUE(LoadsNothing(ReadBounded(input))) << input;
    }
}

TEST_F(CameraListBadInputTest, RefusedFileIsNeitherPostedNorLogged) {
    std::filesystem::create_directories(dir_ / "bin");
    ListWindow window;
    {
        CMonitorApp app(dir_ / "bin/OrvexClient");
        app.InitPaths();
        app.SetMainWindow(&window);
        std::string deep = "<?xml version=\"1.0\" ?>\n<CameraList>";
        for (int i = 0; i < 100000; ++i) deep += "<Item>";
        WriteFile(dir_ / "bin/CameraList.xml", deep);
        EXPECT_EQ(LoadCameraList(&window, dir_ / "bin/CameraList.xml", true), 0);
    }
    EXPECT_TRUE(window.Messages().empty());
}
