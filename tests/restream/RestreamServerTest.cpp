#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/rtp/gstrtcpbuffer.h>
#include <gst/rtp/gstrtpbuffer.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "H264TestSource.h"
#include "RtspProbe.h"
#include "restream/RestreamServer.h"
#include "restream/RestreamService.h"

namespace {

// The server's log lines; it writes from its own thread.
class CLogLines {
public:
    CRestreamServer::LogFn Fn() {
        return [this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        };
    }
    bool Contains(const std::string& text) {
        std::lock_guard lock(mutex_);
        for (const auto& line : lines_) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

RestreamOptions LocalOptions(int maxClients = 16) {
    RestreamOptions options;
    options.Address = "127.0.0.1";
    options.Port = 0;
    options.User = "viewer";
    options.Password = "s3cret";
    options.MaxClients = maxClients;
    return options;
}

struct PullResult {
    bool Decoded = false;
    std::string Error;
    double FirstPictureS = -1;
};

// Plays url with rtspsrc over TCP until a picture is decoded, an error is posted or
// 20 s have passed.
PullResult Pull(const std::string& url, const std::string& user, const std::string& password) {
    PullResult result;
    GstElement* pipeline = gst_parse_launch(
        "rtspsrc name=src protocols=tcp latency=0 ! rtph264depay ! h264parse ! avdec_h264 "
        "! appsink name=sink sync=false",
        nullptr);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    g_object_set(source, "location", url.c_str(), "user-id", user.c_str(), "user-pw",
                 password.c_str(), nullptr);
    GstBus* bus = gst_element_get_bus(pipeline);
    const auto start = std::chrono::steady_clock::now();
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        if (GstSample* sample =
                gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 100 * GST_MSECOND)) {
            gst_sample_unref(sample);
            result.Decoded = true;
            result.FirstPictureS =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            break;
        }
        if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            result.Error = error != nullptr ? error->message : "error";
            if (error != nullptr) g_error_free(error);
            gst_message_unref(message);
            break;
        }
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(sink);
    gst_object_unref(source);
    gst_object_unref(pipeline);
    return result;
}

std::string Url(const CRestreamServer& server, const std::string& path) {
    return "rtsp://127.0.0.1:" + std::to_string(server.BoundPort()) + path;
}

TEST(RestreamServerTest, StartRefusesWithAReasonWithoutPasswordOrUserOrOnABusyPort) {
    CLogLines log;
    CRestreamServer holder(LocalOptions(), log.Fn());
    ASSERT_EQ("", holder.Start());
    ASSERT_GT(holder.BoundPort(), 0);

    struct Case {
        const char* name;
        std::string user;
        std::string password;
        int port;
        std::string reason;  // a part of the refusal; empty: it starts
    };
    const std::vector<Case> cases = {
        {"no password", "viewer", "", 0, "未设置密码"},
        {"no user", "", "s3cret", 0, "未设置用户名"},
        {"port in use", "viewer", "s3cret", holder.BoundPort(), "无法监听"},
        {"a free port", "viewer", "s3cret", 0, ""},
    };
    for (const Case& c : cases) {
        RestreamOptions options = LocalOptions();
        options.User = c.user;
        options.Password = c.password;
        options.Port = c.port;
        CRestreamServer server(options, log.Fn());
        const std::string reason = server.Start();
        if (c.reason.empty()) {
            EXPECT_EQ("", reason) << c.name;
            EXPECT_GT(server.BoundPort(), 0) << c.name;
        } else {
            EXPECT_NE(std::string::npos, reason.find(c.reason)) << c.name << ": " << reason;
            EXPECT_EQ(nullptr, server.Publish(1, "Front")) << c.name;
        }
    }
}

TEST(RestreamServerTest, OnlyPublishedCamerasAreFoundByNumberOrName) {
    CLogLines log;
    CRestreamServer server(LocalOptions(), log.Fn());
    ASSERT_EQ("", server.Start());
    ASSERT_NE(nullptr, server.Publish(1, "Front door"));
    ASSERT_NE(nullptr, server.Publish(3, "门口"));
    EXPECT_EQ(nullptr, server.Publish(3, "again")) << "a number is published once";

    // A published camera asks for the login (401); anything else is not found (404).
    struct Case {
        std::string path;
        int status;
    };
    const std::vector<Case> cases = {
        {"/cam1", 401}, {"/Front%20door", 401}, {"/cam3", 401}, {"/%E9%97%A8%E5%8F%A3", 401},
        {"/cam2", 404}, {"/cam10", 404},        {"/Back", 404}, {"/", 404},
    };
    for (const Case& c : cases) {
        CRtspProbe probe(server.BoundPort());
        EXPECT_EQ(c.status, probe.Request("DESCRIBE", c.path)) << c.path;
    }
    server.Unpublish(3);
    for (const std::string path : {"/cam3", "/%E9%97%A8%E5%8F%A3"}) {
        CRtspProbe probe(server.BoundPort());
        EXPECT_EQ(404, probe.Request("DESCRIBE", path)) << path << " after Unpublish";
    }
}

TEST(RestreamServerTest, ClientsBeyondMaxClientsGet503UntilOneLeaves) {
    CLogLines log;
    CRestreamServer server(LocalOptions(2), log.Fn());
    ASSERT_EQ("", server.Start());
    ASSERT_NE(nullptr, server.Publish(1, ""));
    // Admitted clients are asked to log in (401); the one too many is refused (503).
    auto first = std::make_unique<CRtspProbe>(server.BoundPort());
    CRtspProbe second(server.BoundPort());
    ASSERT_EQ(401, first->Request("DESCRIBE", "/cam1"));
    ASSERT_EQ(401, second.Request("DESCRIBE", "/cam1"));
    {
        CRtspProbe third(server.BoundPort());
        EXPECT_EQ(503, third.Request("DESCRIBE", "/cam1"));
        EXPECT_EQ(503, third.Request("DESCRIBE", "/cam2"));
    }
    EXPECT_TRUE(log.Contains("拒绝客户端 127.0.0.1"));
    first.reset();
    // The server notices the two closed connections on its own thread: ask again until
    // a place is free, for at most 20 s.
    int status = -1;
    for (int attempt = 0; attempt < 200 && status != 401; ++attempt) {
        CRtspProbe next(server.BoundPort());
        status = next.Request("DESCRIBE", "/cam1");
        if (status != 401) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(401, status);
}

TEST(RestreamServerTest, APublishedCameraPlaysByNumberAndByNameWithItsPassword) {
    CLogLines log;
    CRestreamServer server(LocalOptions(), log.Fn());
    ASSERT_EQ("", server.Start());
    IStreamTap* tap = server.Publish(2, "Front door");
    ASSERT_NE(nullptr, tap);
    CH264TestSource camera(tap);
    for (const std::string path : {"/cam2", "/Front%20door"}) {
        const PullResult result = Pull(Url(server, path), "viewer", "s3cret");
        EXPECT_TRUE(result.Decoded) << path << ": " << result.Error;
        std::printf("%s: first picture after %.2f s\n", path.c_str(), result.FirstPictureS);
    }
    EXPECT_GT(camera.Delivered(), 0);
    EXPECT_FALSE(log.Contains("登录失败"));
}

TEST(RestreamServerTest, AWrongPasswordIsRefusedAndLoggedWithTheAddress) {
    CLogLines log;
    CRestreamServer server(LocalOptions(), log.Fn());
    ASSERT_EQ("", server.Start());
    ASSERT_NE(nullptr, server.Publish(1, ""));
    const PullResult result = Pull(Url(server, "/cam1"), "viewer", "wrong");
    EXPECT_FALSE(result.Decoded);
    EXPECT_FALSE(result.Error.empty());
    EXPECT_TRUE(log.Contains("来自 127.0.0.1 的登录失败"));
}

// Hands each unit on as if it had been captured 1 s before it arrived.
class CLateTap : public IStreamTap {
public:
    static constexpr int64_t kLateMs = 1000;
    explicit CLateTap(IStreamTap* next) : next_(next) {}
    void OnAccessUnit(const uint8_t* data, int32_t length, int64_t wallMs) override {
        next_->OnAccessUnit(data, length, wallMs - kLateMs);
    }

private:
    IStreamTap* const next_;
};

// What a receiver learns from the sender reports: the wall-clock capture time of the
// RTP packets sent after the first report, against the wall clock when they arrive.
// The jitter buffer's threads write it.
class CSenderReportWatch {
public:
    static void OnNewManager(GstElement*, GstElement* manager, gpointer self) {
        g_signal_connect(manager, "new-jitterbuffer", G_CALLBACK(OnNewJitterBuffer), self);
    }
    // The newest packet's arrival minus its capture time; -1 before a sender report.
    int64_t AgeMs() {
        std::lock_guard lock(mutex_);
        return ageMs_;
    }

private:
    static void OnNewJitterBuffer(GstElement*, GstElement* buffer, guint, guint, gpointer self) {
        g_signal_connect(buffer, "handle-sync", G_CALLBACK(OnSync), self);
        GstPad* pad = gst_element_get_static_pad(buffer, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnPacket, self, nullptr);
        gst_object_unref(pad);
    }
    static void OnSync(GstElement*, GstStructure* sync, gpointer self) {
        auto* watch = static_cast<CSenderReportWatch*>(self);
        GstBuffer* report = nullptr;
        if (!gst_structure_get(sync, "sr-buffer", GST_TYPE_BUFFER, &report, nullptr)) return;
        GstRTCPBuffer rtcp = GST_RTCP_BUFFER_INIT;
        GstRTCPPacket packet;
        if (gst_rtcp_buffer_map(report, GST_MAP_READ, &rtcp)) {
            if (gst_rtcp_buffer_get_first_packet(&rtcp, &packet) &&
                gst_rtcp_packet_get_type(&packet) == GST_RTCP_TYPE_SR) {
                guint64 ntp = 0;
                guint32 rtpTime = 0;
                gst_rtcp_packet_sr_get_sender_info(&packet, nullptr, &ntp, &rtpTime, nullptr,
                                                   nullptr);
                constexpr int64_t kNtpToUnixS = 2208988800LL;
                std::lock_guard lock(watch->mutex_);
                watch->reportWallMs_ = (static_cast<int64_t>(ntp >> 32) - kNtpToUnixS) * 1000 +
                                       static_cast<int64_t>((ntp & 0xFFFFFFFFu) * 1000 >> 32);
                watch->reportRtp_ = rtpTime;
            }
            gst_rtcp_buffer_unmap(&rtcp);
        }
        gst_buffer_unref(report);
    }
    static GstPadProbeReturn OnPacket(GstPad*, GstPadProbeInfo* info, gpointer self) {
        auto* watch = static_cast<CSenderReportWatch*>(self);
        GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
        if (!gst_rtp_buffer_map(GST_PAD_PROBE_INFO_BUFFER(info), GST_MAP_READ, &rtp)) {
            return GST_PAD_PROBE_OK;
        }
        const guint32 time = gst_rtp_buffer_get_timestamp(&rtp);
        gst_rtp_buffer_unmap(&rtp);
        std::lock_guard lock(watch->mutex_);
        const int32_t sinceReport = static_cast<int32_t>(time - watch->reportRtp_);
        if (watch->reportWallMs_ >= 0 && sinceReport > 0) {
            const int64_t capturedMs = watch->reportWallMs_ + sinceReport / 90;
            watch->ageMs_ = g_get_real_time() / 1000 - capturedMs;
        }
        return GST_PAD_PROBE_OK;
    }

    std::mutex mutex_;
    int64_t reportWallMs_ = -1;
    guint32 reportRtp_ = 0;
    int64_t ageMs_ = -1;
};

TEST(RestreamServerTest, SenderReportsCarryTheTimeEachPictureWasCaptured) {
    CLogLines log;
    CRestreamServer server(LocalOptions(), log.Fn());
    ASSERT_EQ("", server.Start());
    CLateTap late(server.Publish(1, ""));
    CH264TestSource camera(&late);
    GstElement* pipeline = gst_parse_launch(
        "rtspsrc name=src protocols=tcp latency=0 ! rtph264depay ! fakesink sync=false", nullptr);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    g_object_set(source, "location", Url(server, "/cam1").c_str(), "user-id", "viewer", "user-pw",
                 "s3cret", nullptr);
    CSenderReportWatch watch;
    g_signal_connect(source, "new-manager", G_CALLBACK(CSenderReportWatch::OnNewManager), &watch);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    // The first sender report comes within a few seconds: wait for it at most 30 s.
    for (int attempt = 0; attempt < 300 && watch.AgeMs() < 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const int64_t ageMs = watch.AgeMs();
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(source);
    gst_object_unref(pipeline);
    ASSERT_GE(ageMs, 0) << "no sender report arrived";
    EXPECT_NEAR(CLateTap::kLateMs, ageMs, 300);
}

}  // namespace

namespace {

TEST(RestreamServerTest, AnAddressThatKeepsFailingIsRefusedEvenWithTheRightPassword) {
    CLogLines log;
    CRestreamServer server(LocalOptions(), log.Fn());
    ASSERT_EQ("", server.Start());
    ASSERT_NE(nullptr, server.Publish(1, ""));
    // Ten failures refuse the address; a client may fail more than once per attempt.
    int attempts = 0;
    while (attempts < 20 && !log.Contains("拒绝 60 秒")) {
        ++attempts;
        EXPECT_FALSE(Pull(Url(server, "/cam1"), "viewer", "wrong").Decoded);
    }
    EXPECT_TRUE(log.Contains("127.0.0.1 登录失败 10 次, 拒绝 60 秒"));
    EXPECT_LE(attempts, 10);
    CRtspProbe probe(server.BoundPort());
    EXPECT_EQ(403, probe.Request("DESCRIBE", "/cam1"));
    // Refused at once: an admitted client would wait for the camera's first picture.
    EXPECT_FALSE(Pull(Url(server, "/cam1"), "viewer", "s3cret").Error.empty());
}

}  // namespace

namespace {

// A port of 127.0.0.1 that nothing listens on at the moment.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
    EXPECT_EQ(0, ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length));
    ::close(fd);
    return ntohs(address.sin_port);
}

// A camera opened before any server runs is offered by each server the settings start,
// until its tap goes; settings that enable the server without a password start none.
TEST(RestreamServiceTest, ACameraIsOfferedAcrossRestartsUntilItsTapGoes) {
    CLogLines log;
    CRestreamService service(log.Fn());
    std::shared_ptr<IStreamTap> tap = service.Publish(2, "Front door");
    ASSERT_NE(nullptr, tap);
    EXPECT_EQ(nullptr, service.Publish(2, "again")) << "a camera is offered once";
    auto camera = std::make_unique<CH264TestSource>(tap.get());

    RestreamSettings settings;
    settings.Enabled = "1";
    settings.Address = "127.0.0.1";
    settings.User = "viewer";
    EXPECT_NE(std::string::npos, service.Apply(settings).find("需要密码"));
    EXPECT_TRUE(log.Contains("网络串流未启动"));
    EXPECT_EQ(0, service.Port());

    settings.Password = "s3cret";
    for (int round = 0; round < 2; ++round) {
        settings.Port = FreePort();
        ASSERT_EQ("", service.Apply(settings)) << "round " << round;
        ASSERT_EQ(settings.Port, service.Port());
        const std::string base = "rtsp://127.0.0.1:" + std::to_string(settings.Port);
        const PullResult result =
            Pull(base + (round == 0 ? "/cam2" : "/Front%20door"), "viewer", "s3cret");
        EXPECT_TRUE(result.Decoded) << "round " << round << ": " << result.Error;
    }
    camera.reset();
    tap.reset();
    CRtspProbe probe(settings.Port);
    EXPECT_EQ(404, probe.Request("DESCRIBE", "/cam2")) << "the closed camera is still offered";
    settings.Enabled = "0";
    EXPECT_EQ("", service.Apply(settings));
    EXPECT_EQ(0, service.Port());
}

}  // namespace

namespace {

// A client playing over TCP that counts its decoded pictures and notes its end.
class CPlayer {
public:
    CPlayer(const std::string& url) {
        pipeline_ = gst_parse_launch(
            "rtspsrc name=src protocols=tcp latency=0 ! rtph264depay ! h264parse ! avdec_h264 "
            "! appsink name=sink sync=false",
            nullptr);
        GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
        g_object_set(source, "location", url.c_str(), "user-id", "viewer", "user-pw", "s3cret",
                     nullptr);
        gst_object_unref(source);
        sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    }
    ~CPlayer() {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(sink_);
        gst_object_unref(pipeline_);
    }
    // Waits at most 20 s for `count` more pictures; false when the stream ended first.
    bool Receive(int count) {
        for (int attempt = 0; attempt < 200 && count > 0; ++attempt) {
            if (GstSample* sample =
                    gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 100 * GST_MSECOND)) {
                gst_sample_unref(sample);
                --count;
            } else if (gst_app_sink_is_eos(GST_APP_SINK(sink_))) {
                return false;
            }
        }
        return count == 0;
    }

private:
    GstElement* pipeline_ = nullptr;
    GstElement* sink_ = nullptr;
};

// Withdrawing one camera ends its clients only; the clients of another keep playing.
TEST(RestreamServerTest, WithdrawingACameraEndsItsClientsAlone) {
    CLogLines log;
    CRestreamServer server(LocalOptions(), log.Fn());
    ASSERT_EQ("", server.Start());
    auto first = std::make_unique<CH264TestSource>(server.Publish(1, ""));
    CH264TestSource second(server.Publish(2, ""));
    // Connected one after the other, so that whichever way the server walks its
    // clients, one of the other camera's comes after the withdrawn camera's.
    CPlayer before(Url(server, "/cam2"));
    ASSERT_TRUE(before.Receive(1));
    CPlayer ofFirst(Url(server, "/cam1"));
    ASSERT_TRUE(ofFirst.Receive(1));
    CPlayer after(Url(server, "/cam2"));
    ASSERT_TRUE(after.Receive(1));
    first.reset();
    server.Unpublish(1);
    EXPECT_FALSE(ofFirst.Receive(1000)) << "the withdrawn camera's client was not ended";
    EXPECT_TRUE(before.Receive(30)) << "another camera's client was ended too";
    EXPECT_TRUE(after.Receive(30)) << "another camera's client was ended too";
}

}  // namespace
