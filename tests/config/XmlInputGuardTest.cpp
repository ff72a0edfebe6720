#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "config/XmlInputGuard.h"
#include "support/TestSupport.h"

using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Repeat(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

// What TinyXML built: its deepest element and its node count.
struct TreeStats {
    size_t Depth = 0;
    size_t Nodes = 0;
};

TreeStats Measure(const TiXmlNode* parent) {
    TreeStats stats;
    std::vector<std::pair<const TiXmlNode*, size_t>> pending = {{parent, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
            ++stats.Nodes;
            const TiXmlElement* element = child->ToElement();
            if (element == nullptr) continue;
            stats.Depth = std::max(stats.Depth, depth + 1);
            pending.emplace_back(child, depth + 1);
        }
    }
    return stats;
}

}  // namespace

TEST(XmlInputGuardTest, NormalizingCutsAtNulAndTurnsCrLfAndCrIntoLf) {
    std::string text("a\r\nb\rc\n\r\rd", 11);
    text += std::string("\0<after>", 8);
    NormalizeXmlText(&text);
    EXPECT_EQ(text, "a\nb\nc\n\n\nd");
}

TEST(XmlInputGuardTest, ReadingPreparesAndPadsTheText) {
    TempDir dir;
    WriteFile(dir / "list.xml", std::string("<r>\r\n</r>\0tail", 14));
    std::string text = "stale";
    ASSERT_EQ(ReadXmlInput(dir / "list.xml", &text), XmlInputResult::kOk);
    EXPECT_EQ(text, "<r>\n</r>" + std::string(kXmlPaddingBytes, '\0'));
}

TEST(XmlInputGuardTest, ReadingRefusesWhatIsNoRegularFileOrBeyondTheBounds) {
    TempDir dir;
    std::string text = "stale";
    EXPECT_EQ(ReadXmlInput(dir / "missing.xml", &text), XmlInputResult::kUnreadable);
    EXPECT_EQ(ReadXmlInput(dir.Path(), &text), XmlInputResult::kUnreadable);
    // A FIFO nobody writes to would block a plain open.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(ReadXmlInput(dir / "fifo", &text), XmlInputResult::kUnreadable);
    EXPECT_TRUE(text.empty());

    // Sparse files: NUL bytes cost no disk and cut the text to nothing.
    WriteFile(dir / "limit.xml", "");
    ASSERT_EQ(truncate((dir / "limit.xml").c_str(), kXmlMaxBytes), 0);
    EXPECT_EQ(ReadXmlInput(dir / "limit.xml", &text), XmlInputResult::kOk);
    ASSERT_EQ(truncate((dir / "limit.xml").c_str(), kXmlMaxBytes + 1), 0);
    EXPECT_EQ(ReadXmlInput(dir / "limit.xml", &text), XmlInputResult::kTooLarge);

    WriteFile(dir / "markup.xml", std::string(kXmlMaxMarkup, '<'));
    EXPECT_EQ(ReadXmlInput(dir / "markup.xml", &text), XmlInputResult::kOk);
    WriteFile(dir / "markup.xml", std::string(kXmlMaxMarkup + 1, '<'));
    EXPECT_EQ(ReadXmlInput(dir / "markup.xml", &text), XmlInputResult::kTooMuchMarkup);
    EXPECT_TRUE(text.empty());
}

TEST(XmlInputGuardTest, TinyXmlNeverBuildsMoreThanTheMarkupBound) {
    // Mutated camera lists, broken characters and stray markup included: TinyXML's tree
    // is never deeper than the '<' count nor larger than twice it. The guard's safety
    // rests on this bound alone.
    const std::string seed =
        "<?xml version=\"1.0\" ?>\n<CameraList>\n    <Item>\n        <DeviceIndex>0</DeviceIndex>\n"
        "        <DeviceName>USB &amp; 摄像头</DeviceName>\n        <CustomDeviceName a='1'>"
        "<![CDATA[x]]></CustomDeviceName>\n        <!-- c -->\n    </Item>\n</CameraList>\n";
    const std::vector<std::string> pieces = {"<",
                                             ">",
                                             "/",
                                             "</",
                                             "/>",
                                             "=",
                                             "\"",
                                             "'",
                                             " ",
                                             "\n",
                                             "!",
                                             "?",
                                             "-",
                                             "[",
                                             "]",
                                             "&",
                                             ";",
                                             "#x",
                                             "<a>",
                                             "</a>",
                                             "<Item>",
                                             "</Item>",
                                             "<!--",
                                             "-->",
                                             "<![CDATA[",
                                             "]]>",
                                             "<?xml ",
                                             "version=\"",
                                             "encoding='",
                                             "?>",
                                             "<!DOCTYPE ",
                                             "a=\"",
                                             "b=c",
                                             "\xC3\xA4",
                                             "\xE6\x91\x84",
                                             "\xEF\xBB\xBF",
                                             "_x",
                                             "1"};
    std::mt19937 random(12345);
    size_t deepest = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text = seed;
        const int edits = 1 + static_cast<int>(random() % 12);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % (text.size() + 1);
            switch (random() % 3) {
                case 0:
                    text.insert(at, pieces[random() % pieces.size()]);
                    break;
                case 1:
                    text.erase(at, random() % 8);
                    break;
                default:
                    text.insert(at, Repeat(pieces[random() % pieces.size()], 1 + random() % 20));
                    break;
            }
        }
        NormalizeXmlText(&text);
        const size_t markup = CountMarkup(text);
        text.append(kXmlPaddingBytes, '\0');
        TiXmlDocument document;
        document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
        const TreeStats tree = Measure(&document);
        ASSERT_LE(tree.Depth, markup) << text;
        ASSERT_LE(tree.Nodes, 2 * markup) << text;
        deepest = std::max(deepest, tree.Depth);
    }
    EXPECT_GT(deepest, 3u) << "the mutations never nested deeper than a camera list";
}
