#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/MonitorApp.h"
#include "common/Messages.h"
#include "config/CameraListFile.h"
#include "config/CameraListTestSupport.h"
#include "support/TestSupport.h"

using configtest::ListWindow;
using configtest::MakeRecord;
using testsupport::ListFiles;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Two cameras as TinyXML prints them: four-space indent, one element per line, the five
// entities, control bytes as hexadecimal references, UTF-8 passed through.
const std::string kGoldenFile =
    "<?xml version=\"1.0\" ?>\n"
    "<CameraList>\n"
    "    <Item>\n"
    "        <DeviceIndex>0</DeviceIndex>\n"
    "        <DeviceName>USB Camera</DeviceName>\n"
    "        <CustomDeviceName>前门 &amp; &lt;后门&gt;</CustomDeviceName>\n"
    "        <Width>640</Width>\n"
    "        <Height>480</Height>\n"
    "        <FrameRate>30</FrameRate>\n"
    "    </Item>\n"
    "    <Item>\n"
    "        <DeviceIndex>-1</DeviceIndex>\n"
    "        <DeviceName>&quot;Cam&quot; &apos;2&apos;&#x09;&#x1F;</DeviceName>\n"
    "        <CustomDeviceName></CustomDeviceName>\n"
    "        <Width>1920</Width>\n"
    "        <Height>1080</Height>\n"
    "        <FrameRate>-25</FrameRate>\n"
    "    </Item>\n"
    "</CameraList>\n";

std::vector<DeviceInfo> GoldenTable() {
    return {MakeRecord(0, "USB Camera", "前门 & <后门>", 640, 480, 30),
            MakeRecord(-1, "\"Cam\" '2'\t\x1F", "", 1920, 1080, -25)};
}

// A list file body with the given items under a root.
std::string ListWith(const std::string& items, const std::string& root = "CameraList") {
    return "<?xml version=\"1.0\" ?>\n<" + root + ">\n" + items + "</" + root + ">\n";
}

std::string Item(const std::string& children) {
    return "<Item>" + children + "</Item>\n";
}

void ExpectSameStoredFields(const DeviceInfo& expected, const DeviceInfo& actual) {
    EXPECT_EQ(actual.DeviceIndex, expected.DeviceIndex);
    EXPECT_STREQ(actual.DeviceName, expected.DeviceName);
    EXPECT_STREQ(actual.CustomDeviceName, expected.CustomDeviceName);
    EXPECT_EQ(actual.Width, expected.Width);
    EXPECT_EQ(actual.Height, expected.Height);
}

class CameraListFileTest : public ::testing::Test {
protected:
    std::string Path() const { return dir_ / "CameraList.xml"; }

    // Reads Path(), expecting a file with a root element.
    std::vector<DeviceInfo> Read(bool supportRecord = true) {
        DeviceInfo table[kCameraTableRecords];
        int count = -1;
        EXPECT_EQ(ReadCameraList(Path(), table, &count, supportRecord), kCameraListRead);
        return std::vector<DeviceInfo>(table, table + std::max(count, 0));
    }

    std::vector<DeviceInfo> ReadText(const std::string& content, bool supportRecord = true) {
        WriteFile(Path(), content);
        return Read(supportRecord);
    }

    TempDir dir_;
};

}  // namespace

// --- writing ---

TEST_F(CameraListFileTest, SaveWritesTheFileExactlyAsTinyXmlPrintsIt) {
    const auto table = GoldenTable();
    ASSERT_TRUE(SaveCameraList(table.data(), 2, Path()));
    EXPECT_EQ(ReadFile(Path()), kGoldenFile);
}

TEST_F(CameraListFileTest, EmptyListIsAnEmptyRoot) {
    ASSERT_TRUE(SaveCameraList(nullptr, 0, Path()));
    EXPECT_EQ(ReadFile(Path()), "<?xml version=\"1.0\" ?>\n<CameraList />\n");
    EXPECT_TRUE(Read().empty());
}

TEST_F(CameraListFileTest, SaveRefusesACountOutsideTheTable) {
    const auto table = GoldenTable();
    EXPECT_FALSE(SaveCameraList(table.data(), -1, Path()));
    EXPECT_FALSE(SaveCameraList(table.data(), kCameraTableRecords + 1, Path()));
    EXPECT_FALSE(SaveCameraList(nullptr, 1, Path()));
    EXPECT_TRUE(ListFiles(dir_.Path()).empty());
}

TEST_F(CameraListFileTest, SaveReplacesTheWholeFileAndLeavesNoTemporaryFile) {
    std::vector<DeviceInfo> ten;
    for (int i = 0; i < kCameraTableRecords; ++i) ten.push_back(MakeRecord(i, "Cam", "Cam"));
    ASSERT_TRUE(SaveCameraList(ten.data(), kCameraTableRecords, Path()));
    const auto table = GoldenTable();
    ASSERT_TRUE(SaveCameraList(table.data(), 2, Path()));
    EXPECT_EQ(ReadFile(Path()), kGoldenFile) << "nothing of the longer old list is left";
    EXPECT_EQ(ListFiles(dir_.Path()), (std::vector<std::string>{dir_ / "CameraKeys.xml", Path()}));
}

TEST_F(CameraListFileTest, SaveIntoAFolderThatCannotExistChangesNothing) {
    // The folder is really a regular file, so not even the temporary file can be made.
    WriteFile(dir_ / "plain", "plain file");
    const auto table = GoldenTable();
    EXPECT_FALSE(SaveCameraList(table.data(), 2, dir_ / "plain/CameraList.xml"));
    EXPECT_EQ(ReadFile(dir_ / "plain"), "plain file");
    EXPECT_EQ(ListFiles(dir_.Path()), std::vector<std::string>{dir_ / "plain"});
}

TEST_F(CameraListFileTest, DiskFullingUpMidWriteKeepsTheOldFile) {
    WriteFile(Path(), kGoldenFile);
    std::vector<DeviceInfo> ten;
    for (int i = 0; i < kCameraTableRecords; ++i) ten.push_back(MakeRecord(i, "New", "New"));

    // From here on no file may grow past 100 bytes, as on a disk that has filled up.
    struct rlimit previousLimit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    struct sigaction ignore {
    }, previousAction{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previousAction), 0);
    struct rlimit small = previousLimit;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveCameraList(ten.data(), kCameraTableRecords, Path());
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    sigaction(SIGXFSZ, &previousAction, nullptr);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadFile(Path()), kGoldenFile);
    EXPECT_EQ(ListFiles(dir_.Path()), std::vector<std::string>{Path()}) << "temporary file left";
}

TEST_F(CameraListFileTest, FailedRenameRemovesTheTemporaryFile) {
    // A folder in the file's place: the new list is written, but cannot replace it.
    std::filesystem::create_directory(Path());
    WriteFile(Path() + "/inside", "kept");
    const auto table = GoldenTable();
    EXPECT_FALSE(SaveCameraList(table.data(), 2, Path()));
    EXPECT_EQ(ListFiles(dir_.Path()), std::vector<std::string>{Path() + "/inside"});
}

TEST_F(CameraListFileTest, NewFileFollowsTheUmaskAndAReplacedFileKeepsItsMode) {
    const mode_t previous = umask(022);
    const auto table = GoldenTable();
    const bool created = SaveCameraList(table.data(), 2, Path());
    struct stat st {};
    stat(Path().c_str(), &st);
    const mode_t createdMode = st.st_mode & 07777;
    chmod(Path().c_str(), 0640);
    const bool replaced = SaveCameraList(table.data(), 1, Path());
    stat(Path().c_str(), &st);
    umask(previous);

    ASSERT_TRUE(created);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(createdMode, 0644u) << std::oct << createdMode;
    EXPECT_EQ(st.st_mode & 07777, 0640u) << std::oct << (st.st_mode & 07777);
}

// --- reading ---

TEST_F(CameraListFileTest, RoundTripKeepsEveryStoredField) {
    std::string longAscii(254, 'a');
    longAscii += 'z';
    std::string longChinese;
    for (int i = 0; i < 85; ++i) longChinese += "中";  // 255 bytes
    const std::vector<DeviceInfo> table = {
        MakeRecord(0, "USB Camera & <Friends> \"q\" 'a' >", "前门摄像头", 640, 480, 30),
        MakeRecord(-3,
                   "a\x01"
                   "b\tc\nd\x1F"
                   "e",
                   longChinese, -640, -1, 25),
        MakeRecord(INT32_MAX, longAscii, "", INT32_MIN, 0, 0),
        MakeRecord(7, "&#x41; and &amp; stay as typed", "a&#x</DeviceName><Item>b", 1, 2, 3),
    };
    ASSERT_EQ(strlen(table[1].CustomDeviceName), 255u);
    ASSERT_EQ(strlen(table[2].DeviceName), 255u);
    ASSERT_TRUE(SaveCameraList(table.data(), static_cast<int>(table.size()), Path()));

    const auto read = Read(false);
    ASSERT_EQ(read.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectSameStoredFields(table[i], read[i]);
        EXPECT_EQ(read[i].FrameRate, 0) << "FrameRate is stored but never read";
        EXPECT_EQ(read[i].RecordFlag, 0);
        EXPECT_EQ(read[i].Reserved1, 0u);
        EXPECT_EQ(read[i].Reserved2, 0u);
        EXPECT_EQ(read[i].Reserved3, 0u);
    }
}

TEST_F(CameraListFileTest, RecordFlagComesFromTheSettingAlone) {
    WriteFile(Path(), kGoldenFile);
    for (bool supportRecord : {true, false}) {
        for (const DeviceInfo& record : Read(supportRecord)) {
            EXPECT_EQ(record.RecordFlag, supportRecord ? 1 : 0);
        }
    }
}

TEST_F(CameraListFileTest, WhiteSpaceIsCondensedAsTinyXmlDoes) {
    const std::vector<DeviceInfo> table = {MakeRecord(0, "  Front   door  ", "two  spaces"),
                                           MakeRecord(1, "   ", "\t \n")};
    ASSERT_TRUE(SaveCameraList(table.data(), 2, Path()));
    const auto read = Read();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_STREQ(read[0].DeviceName, "Front door");
    EXPECT_STREQ(read[0].CustomDeviceName, "two spaces");
    EXPECT_STREQ(read[1].DeviceName, "") << "blanks only count as absent";
    EXPECT_STREQ(read[1].CustomDeviceName, "")
        << "control white space comes back as references but is blank all the same";
}

TEST_F(CameraListFileTest, NumbersAreTheirLeadingDecimal) {
    struct Case {
        std::string text;
        int32_t expected;
    };
    const Case cases[] = {{"640px", 640},
                          {"abc", 0},
                          {"-5", -5},
                          {"+7", 7},
                          {"007", 7},
                          {"&#x20;12", 12},
                          {"1 2", 1},
                          {"- 3", 0},
                          {"99999999999", INT32_MAX},
                          {"-99999999999", INT32_MIN}};
    for (const Case& c : cases) {
        const auto read = ReadText(ListWith(Item("<Width>" + c.text + "</Width>")));
        ASSERT_EQ(read.size(), 1u) << c.text;
        EXPECT_EQ(read[0].Width, c.expected) << c.text;
    }
}

TEST_F(CameraListFileTest, AbsentOrEmptyChildrenLeaveZeroFields) {
    const auto read = ReadText(ListWith(
        "<Item/>\n<Item></Item>\n" +
        Item("<DeviceIndex></DeviceIndex><DeviceName/><Width> </Width><Height>480</Height>")));
    ASSERT_EQ(read.size(), 3u);
    for (const DeviceInfo& record : read) {
        EXPECT_EQ(record.DeviceIndex, 0);
        EXPECT_STREQ(record.DeviceName, "");
        EXPECT_STREQ(record.CustomDeviceName, "");
        EXPECT_EQ(record.Width, 0);
        EXPECT_EQ(record.RecordFlag, 1);
    }
    EXPECT_EQ(read[0].Height, 0);
    EXPECT_EQ(read[2].Height, 480);
}

TEST_F(CameraListFileTest, OnlyATextAsFirstNodeCounts) {
    const auto read =
        ReadText(ListWith(Item("<DeviceName><!-- note -->Cam</DeviceName>"
                               "<CustomDeviceName><![CDATA[Yard <1>]]></CustomDeviceName>"
                               "<Width><b>5</b></Width>"
                               "<Height>480<b/></Height>"
                               "<DeviceIndex>1</DeviceIndex><DeviceIndex>2</DeviceIndex>")));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_STREQ(read[0].DeviceName, "") << "a comment comes first";
    EXPECT_STREQ(read[0].CustomDeviceName, "Yard <1>") << "CDATA is a text";
    EXPECT_EQ(read[0].Width, 0);
    EXPECT_EQ(read[0].Height, 480);
    EXPECT_EQ(read[0].DeviceIndex, 1) << "the first child of that name";
}

TEST_F(CameraListFileTest, EveryElementFromTheFirstItemOnIsACamera) {
    const auto read = ReadText(ListWith("<Note><DeviceIndex>9</DeviceIndex></Note>\n" +
                                            Item("<DeviceIndex>1</DeviceIndex>") +
                                            "<!-- a comment is no element -->\n"
                                            "<Other><DeviceIndex>2</DeviceIndex></Other>\n"
                                            "<Item><DeviceIndex>3</DeviceIndex></Item>\n",
                                        "AnyRoot"));
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].DeviceIndex, 1) << "elements before the first Item are skipped";
    EXPECT_EQ(read[1].DeviceIndex, 2);
    EXPECT_EQ(read[2].DeviceIndex, 3);
}

TEST_F(CameraListFileTest, RootWithoutItemReadsNoCamera) {
    EXPECT_TRUE(ReadText(ListWith("<Other><DeviceIndex>1</DeviceIndex></Other>\n")).empty());
}

TEST_F(CameraListFileTest, CamerasAfterTheTenthAreIgnored) {
    std::string items;
    for (int i = 0; i < 12; ++i)
        items += Item("<DeviceIndex>" + std::to_string(i) + "</DeviceIndex>");
    const auto read = ReadText(ListWith(items));
    ASSERT_EQ(read.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(read[i].DeviceIndex, i);
}

TEST_F(CameraListFileTest, LongNameIsCutAtACharacterBoundary) {
    std::string chinese;
    for (int i = 0; i < 100; ++i) chinese += "中";  // 300 bytes
    const auto read = ReadText(
        ListWith(Item("<DeviceName>" + std::string(254, 'a') + "中</DeviceName><CustomDeviceName>" +
                      chinese + "</CustomDeviceName>")));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(std::string(read[0].DeviceName), std::string(254, 'a'))
        << "a character that does not fit whole is left out";
    EXPECT_EQ(std::string(read[0].CustomDeviceName), chinese.substr(0, 255));
}

TEST_F(CameraListFileTest, CrLfAndCrLineEndsReadAlike) {
    std::string crlf, cr;
    for (char c : kGoldenFile) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
    const auto expected = GoldenTable();
    for (const std::string& content : {crlf, cr}) {
        const auto read = ReadText(content);
        ASSERT_EQ(read.size(), 2u);
        for (size_t i = 0; i < 2; ++i) ExpectSameStoredFields(expected[i], read[i]);
    }
}

TEST_F(CameraListFileTest, FileWithoutRootElementHasNoRoot) {
    for (const std::string content :
         {"<?xml version=\"1.0\" ?>\n", "<?xml version=\"1.0\" ?>\n<!-- only a comment -->\n"}) {
        WriteFile(Path(), content);
        DeviceInfo table[kCameraTableRecords];
        int count = -1;
        EXPECT_EQ(ReadCameraList(Path(), table, &count, true), kCameraListNoRoot) << content;
        EXPECT_EQ(count, 0);
    }
}

TEST_F(CameraListFileTest, MissingFileIsNotLoaded) {
    DeviceInfo table[kCameraTableRecords];
    int count = -1;
    EXPECT_EQ(ReadCameraList(Path(), table, &count, true), kCameraListNotLoaded);
    EXPECT_EQ(count, 0);
}

// --- loading at start-up ---

namespace {

class CameraListLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_ / "bin");
        app_ = std::make_unique<CMonitorApp>(dir_ / "bin/OrvexClient");
        app_->InitPaths();
        app_->SetMainWindow(&window_);  // AppLog's lines arrive as WM_LOG_TEXT
    }

    std::string ListPath() const { return dir_ / "bin/CameraList.xml"; }

    std::vector<unsigned> MessageKinds() const {
        std::vector<unsigned> kinds;
        for (const auto& m : window_.Messages()) kinds.push_back(m.Message);
        return kinds;
    }

    TempDir dir_;
    ListWindow window_;
    std::unique_ptr<CMonitorApp> app_;  // destroyed first: it holds &window_
};

}  // namespace

TEST_F(CameraListLoadTest, PostsTheTableToTheWindow) {
    const auto table = GoldenTable();
    ASSERT_TRUE(SaveCameraList(table.data(), 2, ListPath()));

    EXPECT_EQ(LoadCameraList(&window_, ListPath(), true), 2);
    ASSERT_EQ(MessageKinds(), std::vector<unsigned>{WM_CAMERA_LIST});
    EXPECT_EQ(window_.Messages()[0].LParam, 2);
    const auto tables = window_.Tables();
    ASSERT_EQ(tables.size(), 1u);
    ASSERT_EQ(tables[0].size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        ExpectSameStoredFields(table[i], tables[0][i]);
        EXPECT_EQ(tables[0][i].RecordFlag, 1);
        EXPECT_EQ(tables[0][i].FrameRate, 0);
    }
}

TEST_F(CameraListLoadTest, RecordFlagIsOffWithoutSupportRecord) {
    const auto table = GoldenTable();
    ASSERT_TRUE(SaveCameraList(table.data(), 2, ListPath()));
    ASSERT_EQ(LoadCameraList(&window_, ListPath(), false), 2);
    const auto tables = window_.Tables();
    ASSERT_EQ(tables.size(), 1u);
    for (const DeviceInfo& record : tables[0]) EXPECT_EQ(record.RecordFlag, 0);
}

TEST_F(CameraListLoadTest, EmptyRootPostsACountOfZero) {
    ASSERT_TRUE(SaveCameraList(nullptr, 0, ListPath()));
    EXPECT_EQ(LoadCameraList(&window_, ListPath(), true), 0);
    ASSERT_EQ(MessageKinds(), std::vector<unsigned>{WM_CAMERA_LIST});
    EXPECT_EQ(window_.Messages()[0].LParam, 0);
    EXPECT_NE(window_.Messages()[0].WParam, 0u) << "a table is posted all the same";
}

TEST_F(CameraListLoadTest, FileWithOnlyADeclarationLogsAParseErrorAndPostsNothing) {
    WriteFile(ListPath(), "<?xml version=\"1.0\" ?>\n");
    EXPECT_EQ(LoadCameraList(&window_, ListPath(), true), 0);
    EXPECT_EQ(MessageKinds(), std::vector<unsigned>{WM_LOG_TEXT});
    EXPECT_EQ(window_.LogTexts(), std::vector<std::string>{"解析xml错误"});
}

TEST_F(CameraListLoadTest, MissingOrBrokenFilePostsAndLogsNothing) {
    EXPECT_EQ(LoadCameraList(&window_, ListPath(), true), 0);
    WriteFile(ListPath(), "<CameraList><Item>");
    EXPECT_EQ(LoadCameraList(&window_, ListPath(), true), 0);
    EXPECT_TRUE(window_.Messages().empty());
}

TEST_F(CameraListLoadTest, TableIsFreedWhenNoWindowTakesIt) {
    // Leak checkers (asan preset) see a table that is neither posted nor freed.
    const auto table = GoldenTable();
    ASSERT_TRUE(SaveCameraList(table.data(), 2, ListPath()));
    window_.SetRefusePosts(true);
    EXPECT_EQ(LoadCameraList(&window_, ListPath(), true), 2) << "the count read, posted or not";
    EXPECT_EQ(LoadCameraList(nullptr, ListPath(), true), 2);
    EXPECT_TRUE(window_.Messages().empty());
}

TEST_F(CameraListLoadTest, LoaderThreadHandsTheTableOverThroughThePost) {
    const auto table = GoldenTable();
    ASSERT_TRUE(SaveCameraList(table.data(), 2, ListPath()));
    int loaded = -1;
    std::thread loader([&] { loaded = LoadCameraList(&window_, ListPath(), true); });
    loader.join();
    EXPECT_EQ(loaded, 2);
    ASSERT_EQ(window_.Tables().size(), 1u);
    EXPECT_STREQ(window_.Tables()[0][0].CustomDeviceName, "前门 & <后门>");
}
