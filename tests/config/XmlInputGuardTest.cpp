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

XmlMarkupStats Stats(const std::string& text, XmlInputResult expected = XmlInputResult::kOk) {
    XmlMarkupStats stats;
    EXPECT_EQ(CheckXmlMarkup(text, &stats), expected) << text.substr(0, 200);
    return stats;
}

// What TinyXML built, deepest element and most attributes included.
struct TreeStats {
    size_t Depth = 0;
    size_t Nodes = 0;
    size_t Attributes = 0;
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
            size_t attributes = 0;
            for (auto* a = element->FirstAttribute(); a != nullptr; a = a->Next()) ++attributes;
            stats.Attributes = std::max(stats.Attributes, attributes);
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

TEST(XmlInputGuardTest, DepthUpToTheLimitPassesAndOneMoreIsRefused) {
    const std::string atLimit = Repeat("<a>", kXmlMaxDepth) + Repeat("</a>", kXmlMaxDepth);
    EXPECT_EQ(Stats(atLimit).MaxDepth, kXmlMaxDepth);
    Stats("<r>" + atLimit + "</r>", XmlInputResult::kTooDeep);
    Stats(Repeat("<a>", 100000), XmlInputResult::kTooDeep);
}

TEST(XmlInputGuardTest, SiblingsAndEmptyElementsDoNotNest) {
    EXPECT_EQ(Stats("<r>" + Repeat("<a/><b /><c></c>", 1000) + "</r>").MaxDepth, 2u);
}

TEST(XmlInputGuardTest, CommentsCdataAndUnknownNodesHideTheirMarkup) {
    const std::string hidden = Repeat("<x>", 100);
    const std::string text = "<r><!--" + hidden + "--><![CDATA[" + hidden +
                             "]]><!DOCTYPE x><?target x?>" + "<y a='" + hidden + "' b=\"" + hidden +
                             "\" c=bare/></r>";
    EXPECT_EQ(Stats(text).MaxDepth, 2u);
}

TEST(XmlInputGuardTest, UnknownNodeEndsAtItsFirstGreaterThan) {
    // TinyXML ends "<?target" at the first '>', so the tags after it do nest.
    EXPECT_EQ(Stats("<r><?target " + Repeat("<x>", 10)).MaxDepth, 10u);
}

TEST(XmlInputGuardTest, DeclarationValuesHideEndTagsAsTheParserReadsThem) {
    // A quoted version value is skipped whole, so "</r>" in it closes nothing...
    EXPECT_EQ(Stats(Repeat("<r><?xml version=\"></r>\" ?>", 10)).MaxDepth, 10u);
    // ...while an unknown pseudo-attribute ends the declaration at its '>'.
    EXPECT_EQ(Stats(Repeat("<r><?xml other=\"></r>\" ?>", 10)).MaxDepth, 1u);
}

TEST(XmlInputGuardTest, OnlyTheExactEndTagCloses) {
    // "</b>" for "<a>" is a parse error: the parser stops there, and so does the scan.
    EXPECT_EQ(Stats("<a></b>" + Repeat("<c>", 100)).MaxDepth, 1u);
    EXPECT_EQ(Stats("<a><b></b ></a>" + Repeat("<c>", 100)).MaxDepth, 2u);
}

TEST(XmlInputGuardTest, TextBeforeTheRootStopsTheParser) {
    EXPECT_EQ(Stats("text" + Repeat("<a>", 100)).MaxDepth, 0u);
}

TEST(XmlInputGuardTest, AttributesAndNodesAreBounded) {
    const auto attributes = [](size_t n) {
        std::string tag = "<a";
        for (size_t i = 0; i < n; ++i) tag += " n" + std::to_string(i) + "=\"1\"";
        return tag + "/>";
    };
    EXPECT_EQ(Stats(attributes(kXmlMaxAttributes)).MaxAttributes, kXmlMaxAttributes);
    Stats(attributes(kXmlMaxAttributes + 1), XmlInputResult::kTooManyAttributes);

    EXPECT_EQ(Stats("<r>" + Repeat("<a/>", kXmlMaxNodes - 1) + "</r>").Nodes, kXmlMaxNodes);
    Stats("<r>" + Repeat("<a/>", kXmlMaxNodes) + "</r>", XmlInputResult::kTooManyNodes);
}

TEST(XmlInputGuardTest, SplitCharactersAndStrayByteOrderMarksAreRefused) {
    // In UTF-8 mode TinyXML steps over a lead byte's whole length, swallowing the ASCII
    // bytes after a cut character, and skips byte-order marks as white space.
    for (const std::string text :
         {"<r>\xE4</r>", "<r a=\"\xC3\"></r>", "<r>\xF0\x9F\x98</r>", "<r>\xEF", "<r>\xC3",
          "<r>\xEF\xBB\xBF</r>", "<r>\xEF\xBF\xBE</r>", "<r>\xEF\xBF\xBF</r>"}) {
        EXPECT_EQ(CheckXmlMarkup(text), XmlInputResult::kBrokenCharacter) << text;
    }
    for (const std::string text : {"\xEF\xBB\xBF<r/>", "<r>前门摄像头 \xF0\x9F\x93\xB7</r>",
                                   "<r>\x80\xBF\xC0\xC1\xF5\xFF</r>"}) {
        EXPECT_EQ(CheckXmlMarkup(text), XmlInputResult::kOk) << text;
    }
}

TEST(XmlInputGuardTest, DeclarationCutOffByTheEndIsRefused) {
    for (const std::string text :
         {"<?xml", "<?xml ", "<?XML version=\"1.0\" ", "<?xml version=\"1.0", "<?xml version=1.0",
          "<?xml foo", "<r><?xml \n"}) {
        EXPECT_EQ(CheckXmlMarkup(text), XmlInputResult::kUnterminatedDeclaration) << text;
    }
    EXPECT_EQ(CheckXmlMarkup("<?xml version=\"1.0\" ?>"), XmlInputResult::kOk);
    EXPECT_EQ(CheckXmlMarkup("<?xml version=x\"1.0\" "), XmlInputResult::kOk)
        << "an attribute error stops the parser before the end";
}

TEST(XmlInputGuardTest, ReadingPreparesAndPadsTheText) {
    TempDir dir;
    WriteFile(dir / "list.xml", std::string("<r>\r\n</r>\0tail", 14));
    std::string text = "stale";
    ASSERT_EQ(ReadXmlInput(dir / "list.xml", &text), XmlInputResult::kOk);
    EXPECT_EQ(text, "<r>\n</r>" + std::string(kXmlPaddingBytes, '\0'));
}

TEST(XmlInputGuardTest, ReadingRefusesWhatIsNoRegularFileOrTooLarge) {
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
}

TEST(XmlInputGuardTest, ScanNeverSeesLessThanTinyXmlBuilds) {
    // Mutated camera lists: wherever the scan lets text through, TinyXML's tree is no
    // deeper, no larger and no richer in attributes than the scan found. A scan that
    // split markup differently from the parser would fail here first.
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
    size_t parsed = 0;
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
        XmlMarkupStats scan;
        if (CheckXmlMarkup(text, &scan) != XmlInputResult::kOk) continue;
        ++parsed;
        text.append(kXmlPaddingBytes, '\0');
        TiXmlDocument document;
        document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
        const TreeStats tree = Measure(&document);
        ASSERT_LE(tree.Depth, scan.MaxDepth) << text;
        ASSERT_LE(tree.Nodes, scan.Nodes) << text;
        ASSERT_LE(tree.Attributes, scan.MaxAttributes) << text;
    }
    EXPECT_GT(parsed, 1000u) << "too few mutations got past the scan to compare";
}
