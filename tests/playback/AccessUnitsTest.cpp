// Splitting a byte run into the pictures a decoder takes: where each begins, which
// ones decoding can start at, and what is held back at the growing end of a file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playback/AccessUnits.h"

namespace {

// One NAL unit: a four-byte start code, its header (type), a payload byte.
// For slices the payload's top bit is first_mb_in_slice == 0: a new picture.
void Nal(std::vector<uint8_t>& bytes, int type, bool firstSliceOfPicture = true) {
    const uint8_t header = static_cast<uint8_t>(0x60 | type);
    bytes.insert(bytes.end(), {0, 0, 0, 1, header,
                               static_cast<uint8_t>(firstSliceOfPicture ? 0x88 : 0x48), 0x7F});
}

// A run described by letters: K = SPS, PPS and IDR slice; I = IDR slice without
// parameter sets; P = a slice starting a picture; s = a further slice of it; E = SEI.
std::vector<uint8_t> Stream(const std::string& letters) {
    std::vector<uint8_t> bytes;
    for (char letter : letters) {
        switch (letter) {
            case 'K':
                Nal(bytes, 7);
                Nal(bytes, 8);
                Nal(bytes, 5);
                break;
            case 'I':
                Nal(bytes, 5);
                break;
            case 'P':
                Nal(bytes, 1);
                break;
            case 's':
                Nal(bytes, 1, false);
                break;
            case 'E':
                Nal(bytes, 6);
                break;
        }
    }
    return bytes;
}

// The units as letters again: K for a unit decoding can start at, else P.
std::string Kinds(const std::vector<AccessUnitSpan>& units) {
    std::string kinds;
    for (const AccessUnitSpan& unit : units) kinds += unit.Key ? 'K' : 'P';
    return kinds;
}

TEST(AccessUnitsTest, SplitsPicturesAndFindsKeyFrames) {
    const struct {
        std::string Run;
        bool Complete;
        std::string Units;
    } cases[] = {
        {"KPPP", true, "KPPP"},   {"KsPsPs", true, "KPP"},  // slices of one picture stay together
        {"EKPEKP", true, "KPKP"},  // an SEI opens the next key frame's unit
        {"IPP", true, "PPP"},      // an IDR without parameter sets cannot start decoding
        {"PPKP", true, "PPKP"},    // a file that begins inside a group of pictures
        {"KPPP", false, "KPP"},    // growing: the last picture may not be whole yet
        {"K", false, ""},         {"", true, ""},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> bytes = Stream(c.Run);
        const std::vector<AccessUnitSpan> units =
            SplitAccessUnits(bytes.data(), bytes.size(), c.Complete);
        EXPECT_EQ(c.Units, Kinds(units)) << c.Run << (c.Complete ? "" : " (growing)");
        // The units tile the run from the first picture's start code on.
        size_t end = units.empty() ? 0 : units.front().Offset;
        for (const AccessUnitSpan& unit : units) {
            EXPECT_EQ(end, unit.Offset) << c.Run;
            end = unit.Offset + unit.Length;
        }
        if (c.Complete && !units.empty()) {
            EXPECT_EQ(bytes.size(), end) << c.Run;
        }
    }
}

TEST(AccessUnitsTest, ARunCutInsideAStartCodeKeepsTheWholeUnitsBeforeIt) {
    const std::vector<uint8_t> bytes = Stream("KPP");
    // Cut two bytes into the last picture's start code.
    const std::vector<AccessUnitSpan> units =
        SplitAccessUnits(bytes.data(), bytes.size() - 5, false);
    EXPECT_EQ("K", Kinds(units));
}

}  // namespace
