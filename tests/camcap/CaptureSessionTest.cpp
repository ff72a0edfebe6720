// A capture session on sources other than the simulated cameras: MJPEG and H.264
// cameras, which the machine running the tests usually does not have.
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "CamcapTestSupport.h"
#include "camcap/CapturePipeline.h"
#include "camcap/CaptureSession.h"
#include "camcap/GstRuntime.h"
#include "camcap/SharedCapture.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kArrival = 10s;

// A live test picture delivered as the camera would: raw frames fed to an encoder.
GstElement* CameraLikeSource(const char* encoderDescription) {
    EXPECT_TRUE(GstRuntime::EnsureInitialised());
    const std::string description =
        std::string(
            "videotestsrc is-live=true pattern=ball ! "
            "video/x-raw,format=I420,width=320,height=240,framerate=30/1 ! ") +
        encoderDescription;
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
    EXPECT_EQ(error, nullptr) << (error != nullptr ? error->message : "");
    if (error != nullptr) g_error_free(error);
    return bin;
}

// A capture of a source that opens once.
std::shared_ptr<CSharedCapture> CaptureOf(GstElement* source, const CaptureMode& mode,
                                          const char* preset) {
    auto once = std::make_shared<GstElement*>(source);
    return std::make_shared<CSharedCapture>(
        [once](const CaptureMode&) { return std::exchange(*once, nullptr); },
        std::vector<CaptureMode>{mode}, preset);
}

CaptureMode ModeOf(CaptureEncoding encoding) {
    CaptureMode mode;
    mode.Encoding = encoding;
    mode.Width = 320;
    mode.Height = 240;
    mode.FpsNumerator = 30;
    mode.FpsDenominator = 1;
    return mode;
}

}  // namespace

TEST(CaptureSessionTest, AnMjpegCameraIsDecodedShownAndEncoded) {
    CCopyingTarget target;
    CStreamCollector stream;
    auto session = std::make_shared<CCaptureSession>(&target, nullptr,
                                                     &CStreamCollector::StreamProc, &stream, "M");
    ASSERT_TRUE(session->Open(
        CaptureOf(CameraLikeSource("jpegenc"), ModeOf(CaptureEncoding::Mjpeg), "ultrafast")));
    EXPECT_TRUE(target.WaitForFrames(3, kArrival));
    EXPECT_TRUE(stream.WaitForKeyFrames(1, kArrival));
    session->Close();
    EXPECT_EQ(target.LastWidth(), 320);
    EXPECT_EQ(target.LastHeight(), 240);
    const std::vector<NalTypes> units = stream.AccessUnits();
    ASSERT_FALSE(units.empty());
    EXPECT_TRUE(HasIdr(units[0]));
    EXPECT_EQ(IdrsWithoutParameterSets(units), 0);
}

TEST(CaptureSessionTest, AnH264CameraIsPassedThroughAndShown) {
    CCopyingTarget target;
    CStreamCollector stream;
    auto session = std::make_shared<CCaptureSession>(&target, nullptr,
                                                     &CStreamCollector::StreamProc, &stream, "H");
    // The camera's own encoder repeats no SPS/PPS: the library must insert them.
    ASSERT_TRUE(session->Open(CaptureOf(
        CameraLikeSource("x264enc tune=zerolatency speed-preset=ultrafast key-int-max=15 ! "
                         "capsfilter caps=video/x-h264,stream-format=avc"),
        ModeOf(CaptureEncoding::H264), "fast")));
    EXPECT_TRUE(target.WaitForFrames(3, kArrival));
    EXPECT_TRUE(stream.WaitForKeyFrames(2, kArrival));
    session->Close();
    EXPECT_EQ(target.LastWidth(), 320);
    const std::vector<NalTypes> units = stream.AccessUnits();
    ASSERT_FALSE(units.empty());
    EXPECT_EQ(IdrsWithoutParameterSets(units), 0);
}

TEST(CaptureSessionTest, ModesLargerThanSevenTwentyAreScaledToFitBeforeEncoding) {
    const struct {
        int Width, Height, FittedWidth, FittedHeight;
    } cases[] = {{1920, 1080, 1280, 720}, {2048, 1536, 960, 720}};
    ASSERT_TRUE(GstRuntime::EnsureInitialised());
    for (const auto& c : cases) {
        // A slow rate keeps the large test picture cheap.
        const std::string caps = "video/x-raw,format=I420,width=" + std::to_string(c.Width) +
                                 ",height=" + std::to_string(c.Height) + ",framerate=5/1";
        GError* error = nullptr;
        GstElement* source = gst_parse_bin_from_description(
            ("videotestsrc is-live=true ! " + caps + " ! identity").c_str(), TRUE, &error);
        ASSERT_EQ(error, nullptr) << error->message;
        CaptureMode mode = ModeOf(CaptureEncoding::Raw);
        mode.Width = c.Width;
        mode.Height = c.Height;
        mode.FpsNumerator = 5;
        CCopyingTarget target;
        CStreamCollector stream;
        auto session = std::make_shared<CCaptureSession>(
            &target, nullptr, &CStreamCollector::StreamProc, &stream, "L");
        ASSERT_TRUE(session->Open(CaptureOf(source, mode, "ultrafast")));
        EXPECT_TRUE(target.WaitForFrames(2, kArrival));
        EXPECT_TRUE(stream.WaitForCallbacks(3, kArrival));
        session->Close();
        EXPECT_EQ(target.LastWidth(), c.FittedWidth);
        EXPECT_EQ(target.LastHeight(), c.FittedHeight);
        const std::string file = TestFolder() + "/fitted.264";
        ASSERT_TRUE(WriteFileBytes(file, stream.Bytes()));
        int width = 0, height = 0;
        EXPECT_GT(DecodeH264File(file, width, height), 0);
        EXPECT_EQ(width, c.FittedWidth);
        EXPECT_EQ(height, c.FittedHeight);
    }
}

TEST(CaptureSessionTest, APreviewHasNoStreamButKeepsItsPicture) {
    CCopyingTarget target;
    auto session = std::make_shared<CCaptureSession>(&target, nullptr, nullptr, nullptr, "P");
    EXPECT_EQ(session->CapturePicture((TestFolder() + "/none.jpg").c_str()), -2);
    ASSERT_TRUE(session->Open(
        CaptureOf(CameraLikeSource("identity"), ModeOf(CaptureEncoding::Raw), "fast")));
    ASSERT_TRUE(target.WaitForFrames(2, kArrival));
    EXPECT_EQ(session->CapturePicture((TestFolder() + "/preview.jpg").c_str()), 0);
    session->Close();
    // A closed session has let its picture go.
    EXPECT_EQ(session->CapturePicture((TestFolder() + "/after.jpg").c_str()), -2);
}

TEST(CaptureSessionTest, ASourceThatCannotDeliverItsModeFailsToOpenWithAReason) {
    CCollectingWindow notice;
    auto session = std::make_shared<CCaptureSession>(nullptr, &notice, nullptr, nullptr, "Z");
    CaptureMode mode = ModeOf(CaptureEncoding::Raw);
    mode.Width = 1024;  // the source gives 320x240 only
    EXPECT_FALSE(session->Open(CaptureOf(CameraLikeSource("identity"), mode, "fast")));
    EXPECT_TRUE(notice.WaitForText("摄像头 Z 打开失败", 1s));
    const size_t posts = notice.PostCount();
    session->Close();
    EXPECT_EQ(notice.PostCount(), posts);
}

TEST(CaptureSessionTest, PipelineElementsAreNamedAfterTheirRoles) {
    // What GST_DEBUG output and pipeline graphs show; a missing name means a role
    // was built under GStreamer's generated name.
    const struct {
        CaptureEncoding Encoding;
        const char* Encoder;
        std::vector<const char*> Roles;
    } cases[] = {
        {CaptureEncoding::Mjpeg,
         "jpegenc",
         {"source", "mode-caps", "jpeg-decoder", "convert", "i420-caps", "overlay", "tee",
          "display-queue", "display-convert", "display-caps", "display-sink", "encoder-queue",
          "encoder", "parser", "stream-caps", "stream-queue", "stream-sink"}},
        {CaptureEncoding::H264,
         "x264enc ! capsfilter caps=video/x-h264,stream-format=avc",
         {"source", "mode-caps", "parser", "stream-caps", "tee", "stream-queue", "stream-sink",
          "decoder-queue", "decoder", "convert", "overlay", "display-queue", "display-sink"}},
    };
    for (const auto& c : cases) {
        CCapturePipeline pipeline;
        CapturePipelineOptions options;
        options.Mode = ModeOf(c.Encoding);
        options.OverlayText = "前门";
        std::string reason;
        ASSERT_TRUE(pipeline.Build(CameraLikeSource(c.Encoder), options, reason)) << reason;
        EXPECT_STREQ(GST_OBJECT_NAME(pipeline.Pipeline()), "camera 前门");
        for (const char* role : c.Roles) {
            GstElementRef element(gst_bin_get_by_name(GST_BIN(pipeline.Pipeline()), role));
            EXPECT_TRUE(element) << c.Encoder << ": no element " << role;
        }
    }
}

namespace {

// The text Pango shows for an overlay text: GMarkup reads it as Pango does. Empty
// when it is not valid markup, which the overlay then does not draw at all.
std::string ShownText(const char* markup) {
    std::string shown;
    GMarkupParser parser = {};
    parser.text = [](GMarkupParseContext*, const gchar* text, gsize length, gpointer user,
                     GError**) { static_cast<std::string*>(user)->append(text, length); };
    GMarkupParseContext* context =
        g_markup_parse_context_new(&parser, GMarkupParseFlags(0), &shown, nullptr);
    const std::string wrapped = std::string("<markup>") + markup + "</markup>";
    const bool parsed = g_markup_parse_context_parse(context, wrapped.c_str(), -1, nullptr) &&
                        g_markup_parse_context_end_parse(context, nullptr);
    g_markup_parse_context_free(context);
    return parsed ? shown : std::string();
}

}  // namespace

TEST(CaptureSessionTest, TheOverlayShowsAnyCameraNameAsWritten) {
    for (const char* name : {"前门", "A&B", "<b>仓库</b>", "x < y > z", "Tom's \"cam\""}) {
        CCapturePipeline pipeline;
        CapturePipelineOptions options;
        options.Mode = ModeOf(CaptureEncoding::Raw);
        options.OverlayText = name;
        options.WithStream = false;
        std::string reason;
        ASSERT_TRUE(pipeline.Build(CameraLikeSource("identity"), options, reason)) << reason;
        GstElementRef overlay(gst_bin_get_by_name(GST_BIN(pipeline.Pipeline()), "overlay"));
        ASSERT_TRUE(overlay);
        gchar* text = nullptr;
        g_object_get(overlay.get(), "text", &text, nullptr);
        GCharRef textRef(text);
        EXPECT_EQ(ShownText(text), name);
    }
}
