#include <gtest/gtest.h>

#include "camcap/GstRef.h"
#include "camcap/GstRuntime.h"
#include "camcap/NoticeText.h"

namespace {

GstMessageRef ErrorMessage(GQuark domain, int code, const char* text, const char* debug) {
    EXPECT_TRUE(GstRuntime::EnsureInitialised());
    GError* error = g_error_new_literal(domain, code, text);
    GstMessage* message = gst_message_new_error(nullptr, error, debug);
    g_error_free(error);
    return GstMessageRef(message);
}

}  // namespace

TEST(NoticeTextTest, AVanishedCameraIsReportedAsDisconnected) {
    GstMessageRef poll =
        ErrorMessage(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, "Could not read from resource.",
                     "poll error 1: No such device (19)");
    EXPECT_EQ(ClassifyBusMessage(poll.get()), NoticeKind::Unplugged);
    EXPECT_EQ(NoticeTextFor(poll.get(), "门口"), "摄像头 门口 已断开");
    GstMessageRef gone = ErrorMessage(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND,
                                      "Device '/dev/video0' does not exist.", nullptr);
    EXPECT_EQ(ClassifyBusMessage(gone.get()), NoticeKind::Unplugged);
}

TEST(NoticeTextTest, ExhaustedBandwidthIsNamed) {
    GstMessageRef pool =
        ErrorMessage(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS,
                     "Failed to allocate required memory.", "Buffer pool activation failed");
    EXPECT_EQ(ClassifyBusMessage(pool.get()), NoticeKind::Bandwidth);
    GstMessageRef nospc =
        ErrorMessage(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_FAILED, "Failed to start streaming.",
                     "error with STREAMON 28 (No space left on device)");
    EXPECT_EQ(ClassifyBusMessage(nospc.get()), NoticeKind::Bandwidth);
    EXPECT_EQ(NoticeTextFor(nospc.get(), "A"), "摄像头 A USB 带宽不足");
}

TEST(NoticeTextTest, OtherErrorsCarryTheirMessage) {
    GstMessageRef stream = ErrorMessage(GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED,
                                        "Internal data stream error.", nullptr);
    EXPECT_EQ(ClassifyBusMessage(stream.get()), NoticeKind::Failure);
    EXPECT_EQ(NoticeTextFor(stream.get(), "A"), "摄像头 A 出错: Internal data stream error.");
}

TEST(NoticeTextTest, EndOfStreamIsToldAndStateChangesAreNot) {
    ASSERT_TRUE(GstRuntime::EnsureInitialised());
    GstMessageRef eos(gst_message_new_eos(nullptr));
    EXPECT_EQ(NoticeTextFor(eos.get(), "A"), "摄像头 A 视频流已结束");
    GstMessageRef state(gst_message_new_state_changed(nullptr, GST_STATE_PAUSED, GST_STATE_PLAYING,
                                                      GST_STATE_VOID_PENDING));
    EXPECT_EQ(ClassifyBusMessage(state.get()), NoticeKind::None);
    EXPECT_EQ(NoticeTextFor(state.get(), "A"), "");
}
