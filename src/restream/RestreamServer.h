// Serves the H.264 of every published camera over RTSP, as the recorder receives it:
// rtsp://host:port/cam<N> and rtsp://host:port/<custom name, percent-encoded>. Digest
// authentication with one user; an address that fails to log in ten times within a
// minute is refused for a minute; clients beyond MaxClients get 503, paths that name
// no published camera 404. Each client's media reads its own bounded queue (see
// CCameraFeed), so a slow client never holds up a camera or another client.
//
// A client that takes nothing for 10 s while its pictures wait is disconnected, and so
// are a camera's clients when it is unpublished. The sender reports of RTCP carry the
// wall-clock time at which each picture reached the program.
//
// Threads: Start, Stop, Publish and Unpublish never at once (the caller serializes
// them), from any thread but the server's own. The server
// accepts connections on a GLib main loop of its own thread; its clients are served,
// and their signals arrive, on the RTSP library's pool threads. The log function is
// called from all of these.
#pragma once

#include <gst/rtsp-server/rtsp-server.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/StreamTap.h"
#include "restream/LoginLockout.h"

struct RestreamOptions {
    std::string Address = "0.0.0.0";
    int Port = 8554;  // 0: any free port, see BoundPort
    std::string User;
    std::string Password;
    int MaxClients = 16;
};

class CCameraFeed;

class CRestreamServer {
public:
    using LogFn = std::function<void(const std::string&)>;

    CRestreamServer(RestreamOptions options, LogFn log,
                    CLoginLockout::ClockFn clock = CRestreamServer::SteadyMs);
    ~CRestreamServer();
    CRestreamServer(const CRestreamServer&) = delete;
    CRestreamServer& operator=(const CRestreamServer&) = delete;

    // Empty on success, else why the server did not start (no password, the port in
    // use, ...). Starting a running server does nothing.
    std::string Start();
    // Closes every client and joins the server's thread. Safe when not started.
    void Stop();
    int BoundPort() const { return boundPort_; }

    // The tap to hand the camera's channel; owned by the server and valid until
    // Unpublish or Stop. Null when the server is not running or the number is taken.
    IStreamTap* Publish(int cameraIndex1Based, const std::string& customName);
    // Call once the camera's channel is closed (no access unit arrives any more).
    void Unpublish(int cameraIndex1Based);

    static int64_t SteadyMs();

private:
    struct Published {
        std::shared_ptr<CCameraFeed> Feed;
        std::vector<std::string> Paths;
    };
    static void OnClientConnected(GstRTSPServer*, GstRTSPClient* client, gpointer self);
    static void OnClientClosed(GstRTSPClient* client, gpointer self);
    static void OnSendMessage(GstRTSPClient* client, GstRTSPContext* context,
                              GstRTSPMessage* message, gpointer self);
    static GstRTSPStatusCode OnRequest(GstRTSPClient* client, GstRTSPContext*, gpointer self);
    void Release();
    // Closes the RTSP client whose media reads from appsrc, on the server's thread.
    void CloseClientOf(GstElement* appsrc, bool stalled);

    const RestreamOptions options_;
    const LogFn log_;
    // The controlling thread, except where said.
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GstRTSPServer* server_ = nullptr;
    GSource* source_ = nullptr;
    std::thread thread_;
    int boundPort_ = 0;
    std::map<int, Published> published_;
    std::atomic<int> clients_{0};  // counted on the pool threads
    std::mutex lockoutMutex_;      // held only for a lookup or an update
    CLoginLockout lockout_;        // under lockoutMutex_
};
