// The arithmetic of a seek: the file that holds a time, the key frame decoding starts
// at, and the times given to the pictures between two key frames.
#include <gtest/gtest.h>

#include "playback/SeekIndex.h"

namespace {

CatalogFile FileRow(int64_t startMs, int64_t endMs, bool growing = false) {
    CatalogFile file;
    file.StartMs = startMs;
    file.EndMs = endMs;
    file.Growing = growing;
    return file;
}

std::vector<CatalogKeyFrame> Keys(std::initializer_list<int64_t> times) {
    std::vector<CatalogKeyFrame> keys;
    uint64_t offset = 0;
    for (int64_t time : times) keys.push_back({offset += 1000, time});
    return keys;
}

TEST(SeekIndexTest, TheFileForATime) {
    // Files 1000-1999, 3000-3999 and 5000-, still growing at 5500.
    const std::vector<CatalogFile> files = {FileRow(1000, 1999), FileRow(3000, 3999),
                                            FileRow(5000, 5500, true)};
    const struct {
        int64_t Target;
        int File;
    } cases[] = {
        {0, 0},     // before the first file: its start
        {1000, 0},  // a file's first picture
        {1999, 0},  // ... and its last
        {2500, 1},  // a hole: the file after it
        {3500, 1}, {4000, 2},
        {5400, 2}, {9000, 2},  // beyond what the growing file holds: still that file
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.File, SeekIndex::FileFor(files, c.Target)) << "at " << c.Target;
    }
    EXPECT_EQ(-1, SeekIndex::FileFor({}, 1000));
    // After a finished last file: that file, whose end then shows.
    EXPECT_EQ(1, SeekIndex::FileFor({FileRow(1000, 1999), FileRow(3000, 3999)}, 9000));
}

TEST(SeekIndexTest, TheKeyFrameDecodingStartsAt) {
    const std::vector<CatalogKeyFrame> keys = Keys({1000, 3000, 5000, 6000});
    const struct {
        int64_t Target;
        int AtOrBefore;
        int Nearest;
    } cases[] = {
        {500, 0, 0},   // before every key frame: the first
        {1000, 0, 0},  // on a key frame
        {1999, 0, 0},  // halfway is the earlier one's
        {2000, 0, 0}, {2001, 0, 1}, {2999, 0, 1},  {3000, 1, 1},
        {5600, 2, 3}, {6000, 3, 3}, {90000, 3, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.AtOrBefore, SeekIndex::KeyFrameAtOrBefore(keys, c.Target)) << c.Target;
        EXPECT_EQ(c.Nearest, SeekIndex::KeyFrameNearest(keys, c.Target)) << c.Target;
    }
    EXPECT_EQ(-1, SeekIndex::KeyFrameAtOrBefore({}, 1000));
    EXPECT_EQ(-1, SeekIndex::KeyFrameNearest({}, 1000));
}

TEST(SeekIndexTest, PicturesBetweenKeyFramesAreSpreadEvenly) {
    const struct {
        int64_t From, To;
        size_t Count;
        bool LastAtTo;
        std::vector<int64_t> Times;
    } cases[] = {
        // 30 a second: 60 pictures up to the next key frame 2 s on (the first four).
        {0, 2000, 4, false, {0, 500, 1000, 1500}},
        // The camera slowed to 7.5 a second: 15 pictures in the same 2 s.
        {10000, 12000, 3, false, {10000, 10666, 11333}},
        // The end of a finished file is its last picture.
        {0, 900, 4, true, {0, 300, 600, 900}},
        {0, 900, 1, true, {0}},
        {0, 900, 0, false, {}},
        // A clock set back between two key frames: the pictures keep the first time.
        {5000, 4000, 3, false, {5000, 5000, 5000}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Times, SeekIndex::SpreadTimes(c.From, c.To, c.Count, c.LastAtTo))
            << c.From << " to " << c.To << ", " << c.Count;
    }
}

}  // namespace
