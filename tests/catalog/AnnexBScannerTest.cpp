#include <gtest/gtest.h>

#include "CatalogTestSupport.h"
#include "catalog/AnnexBScanner.h"

namespace {

using catalogtest::AccessUnit;

// Five access units, key frames first and fourth, of sizes no piece size divides.
struct Stream {
    std::vector<uint8_t> Bytes;
    std::vector<uint64_t> Starts;
    Stream() {
        const bool keys[] = {true, false, false, true, false};
        for (int i = 0; i < 5; ++i) {
            Starts.push_back(Bytes.size());
            const std::vector<uint8_t> unit = AccessUnit(i, keys[i], 61 + 29 * i);
            Bytes.insert(Bytes.end(), unit.begin(), unit.end());
        }
    }
};

ScannedStream Scan(const std::vector<uint8_t>& bytes, size_t from, size_t to, size_t piece) {
    CAnnexBScanner scanner;
    for (size_t at = from; at < to; at += piece)
        scanner.Feed(bytes.data() + at, std::min(piece, to - at));
    return scanner.Finish();
}

TEST(AnnexBScannerTest, AccessUnitsAndKeyFramesAreFoundWhateverThePiecesAndCuts) {
    const Stream s;
    const size_t end = s.Bytes.size();
    struct Case {
        const char* Name;
        size_t From, To;
        uint32_t Pictures;
        std::vector<std::pair<uint64_t, uint32_t>> Keys;  // offset in the piece, picture
    };
    const Case cases[] = {
        {"the whole stream", 0, end, 5, {{0, 0}, {s.Starts[3], 3}}},
        // A roll-over cut the first unit in two: the file counts from the next one.
        {"begun inside a slice", 30, end, 4, {{s.Starts[3] - 30, 2}}},
        // Inside the delimiter's start code: the picture's slice is whole and counts.
        {"begun inside a start code",
         s.Starts[1] + 2,
         end,
         4,
         {{s.Starts[3] - s.Starts[1] - 2, 2}}},
        // A crash cut the last unit short: it still counts.
        {"cut short inside the last slice", 0, end - 10, 5, {{0, 0}, {s.Starts[3], 3}}},
        {"nothing but a slice's tail", 30, s.Starts[1], 0, {}},
        {"empty", 0, 0, 0, {}},
    };
    for (const Case& c : cases) {
        for (const size_t piece :
             {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{7}, size_t{64}, end}) {
            SCOPED_TRACE(std::string(c.Name) + ", pieces of " + std::to_string(piece));
            const ScannedStream scan = Scan(s.Bytes, c.From, c.To, piece);
            EXPECT_EQ(c.To - c.From, scan.Bytes);
            EXPECT_EQ(c.Pictures, scan.Pictures);
            std::vector<std::pair<uint64_t, uint32_t>> keys;
            for (const ScannedKeyFrame& key : scan.KeyFrames)
                keys.emplace_back(key.Offset, key.Picture);
            EXPECT_EQ(c.Keys, keys);
        }
    }
}

}  // namespace
