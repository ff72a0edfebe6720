#include <gtest/gtest.h>

#include "camcap/CaptureMode.h"
#include "camcap/GstRef.h"
#include "camcap/GstRuntime.h"

namespace {

// Parses caps in the form gst_caps_to_string gives, as a device reports them.
CaptureMode Choose(const char* caps, bool* chosen = nullptr) {
    EXPECT_TRUE(GstRuntime::EnsureInitialised());
    GstCapsRef offered(gst_caps_from_string(caps));
    EXPECT_TRUE(offered) << caps;
    CaptureMode mode;
    const bool ok = ChooseCaptureMode(offered.get(), mode);
    if (chosen != nullptr) *chosen = ok;
    return mode;
}

}  // namespace

TEST(CaptureModeTest, PrefersSixForty) {
    const CaptureMode mode = Choose(
        "video/x-raw, format=YUY2, width=1280, height=720, framerate=10/1; "
        "video/x-raw, format=YUY2, width=640, height=480, framerate={ 30/1, 15/1 }; "
        "video/x-raw, format=YUY2, width=320, height=240, framerate=30/1");
    EXPECT_EQ(mode.Encoding, CaptureEncoding::Raw);
    EXPECT_EQ(mode.Width, 640);
    EXPECT_EQ(mode.Height, 480);
    EXPECT_EQ(mode.FrameRate(), 30);
    EXPECT_EQ(mode.RawFormat, "YUY2");
}

TEST(CaptureModeTest, TakesTheClosestSizeThatFitsInSevenTwenty) {
    const CaptureMode mode = Choose(
        "image/jpeg, width=1920, height=1080, framerate=30/1; "
        "image/jpeg, width=1280, height=720, framerate=30/1; "
        "image/jpeg, width=800, height=600, framerate=30/1");
    EXPECT_EQ(mode.Encoding, CaptureEncoding::Mjpeg);
    EXPECT_EQ(mode.Width, 800);
    EXPECT_EQ(mode.Height, 600);
}

TEST(CaptureModeTest, TakesTheSmallestWhenNothingFits) {
    const CaptureMode mode = Choose(
        "video/x-raw, format=NV12, width=3840, height=2160, framerate=30/1; "
        "video/x-raw, format=NV12, width=1920, height=1080, framerate=30/1");
    EXPECT_EQ(mode.Width, 1920);
    EXPECT_EQ(mode.Height, 1080);
}

TEST(CaptureModeTest, PrefersH264ThenMjpegThenRaw) {
    const char* raw = "video/x-raw, format=YUY2, width=640, height=480, framerate=30/1";
    const char* mjpeg = "image/jpeg, width=640, height=480, framerate=30/1";
    const char* h264 =
        "video/x-h264, stream-format=byte-stream, alignment=au, width=640, height=480, "
        "framerate=30/1";
    EXPECT_EQ(Choose((std::string(raw) + "; " + mjpeg + "; " + h264).c_str()).Encoding,
              CaptureEncoding::H264);
    EXPECT_EQ(Choose((std::string(raw) + "; " + mjpeg).c_str()).Encoding, CaptureEncoding::Mjpeg);
    EXPECT_EQ(Choose(raw).Encoding, CaptureEncoding::Raw);
}

TEST(CaptureModeTest, AvoidsRatesTooLowToWatch) {
    // Raw at 640x480 often only runs at 5 per second over USB 2; MJPEG keeps 30.
    const CaptureMode mode = Choose(
        "video/x-raw, format=YUY2, width=640, height=480, framerate=5/1; "
        "image/jpeg, width=1280, height=720, framerate=30/1");
    EXPECT_EQ(mode.Encoding, CaptureEncoding::Mjpeg);
    EXPECT_EQ(mode.FrameRate(), 30);
}

TEST(CaptureModeTest, PicksValuesInsideRanges) {
    const CaptureMode mode = Choose(
        "video/x-raw, format=I420, width=[ 16, 4096 ], height=[ 16, 4096 ], "
        "framerate=[ 0/1, 120/1 ]");
    EXPECT_EQ(mode.Width, 640);
    EXPECT_EQ(mode.Height, 480);
    EXPECT_EQ(mode.FpsNumerator, 30);
    EXPECT_EQ(mode.FpsDenominator, 1);
}

TEST(CaptureModeTest, RoundsFractionalRates) {
    const CaptureMode mode = Choose("image/jpeg, width=640, height=480, framerate=30000/1001");
    EXPECT_EQ(mode.FrameRate(), 30);
    GstCapsRef caps(NewCaptureModeCaps(mode));
    gint num = 0, den = 0;
    ASSERT_TRUE(
        gst_structure_get_fraction(gst_caps_get_structure(caps.get(), 0), "framerate", &num, &den));
    EXPECT_EQ(num, 30000);  // the source is asked for its own rate, not the rounded one
    EXPECT_EQ(den, 1001);
}

TEST(CaptureModeTest, RefusesWhatItCannotHandle) {
    bool chosen = true;
    Choose("video/x-bayer, format=rggb, width=640, height=480, framerate=30/1", &chosen);
    EXPECT_FALSE(chosen);
    Choose("video/x-raw(memory:DMABuf), format=NV12, width=640, height=480, framerate=30/1",
           &chosen);
    EXPECT_FALSE(chosen);
    CaptureMode mode;
    EXPECT_FALSE(ChooseCaptureMode(nullptr, mode));
}
