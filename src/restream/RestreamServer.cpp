#include "restream/RestreamServer.h"

#include <chrono>
#include <utility>

#include "restream/CameraFeed.h"
#include "restream/MountPath.h"

namespace {
constexpr char kViewerRole[] = "viewer";
// The camera's bytes unchanged: parsed into access units and packed for RTP.
constexpr char kLaunch[] =
    "( appsrc name=src caps=video/x-h264,stream-format=byte-stream,alignment=au "
    "! h264parse ! rtph264pay name=pay0 pt=96 config-interval=-1 )";
// Why a client is refused, kept on the client object (0: it is not).
constexpr char kRefusalKey[] = "orvex-refusal";

std::string ClientAddress(GstRTSPClient* client) {
    GstRTSPConnection* connection = gst_rtsp_client_get_connection(client);
    const gchar* ip = connection != nullptr ? gst_rtsp_connection_get_ip(connection) : nullptr;
    return ip != nullptr ? ip : "?";
}

// Orders what one thread makes (a feed, a closing, a client) before another thread that
// GLib's own queues hand it to uses it: ThreadSanitizer does not see GLib's locks. Held
// briefly.
std::mutex gHandOver;
// Between what a thread made and what a pool thread will use (on both sides).
void TakeHandOver() {
    std::lock_guard lock(gHandOver);
}

void OnMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer feed) {
    GstElement* bin = gst_rtsp_media_get_element(media);
    GstElement* source = gst_bin_get_by_name_recurse_up(GST_BIN(bin), "src");
    if (source != nullptr) {
        std::lock_guard lock(gHandOver);
        (*static_cast<std::shared_ptr<CCameraFeed>*>(feed))->AddClient(source);
        gst_object_unref(source);
    }
    gst_object_unref(bin);
}
void DeleteFeedRef(gpointer feed, GClosure*) {
    delete static_cast<std::shared_ptr<CCameraFeed>*>(feed);
}

// Whether one of the client's sessions plays a media that reads from appsrc.
struct MediaSearch {
    GstElement* Appsrc;
    bool Found = false;
};
GstRTSPFilterResult FindMedia(GstRTSPSession*, GstRTSPSessionMedia* sessionMedia, gpointer data) {
    auto* search = static_cast<MediaSearch*>(data);
    GstElement* bin = gst_rtsp_media_get_element(gst_rtsp_session_media_get_media(sessionMedia));
    if (bin != nullptr) {
        GstElement* source = gst_bin_get_by_name(GST_BIN(bin), "src");
        search->Found = search->Found || source == search->Appsrc;
        if (source != nullptr) gst_object_unref(source);
        gst_object_unref(bin);
    }
    return GST_RTSP_FILTER_KEEP;
}
GstRTSPFilterResult FindSession(GstRTSPClient*, GstRTSPSession* session, gpointer data) {
    gst_rtsp_session_filter(session, FindMedia, data);
    return GST_RTSP_FILTER_KEEP;
}
GstRTSPFilterResult FindClient(GstRTSPServer*, GstRTSPClient* client, gpointer data) {
    auto* search = static_cast<MediaSearch*>(data);
    search->Found = false;  // for this client alone
    gst_rtsp_client_session_filter(client, FindSession, data);
    return search->Found ? GST_RTSP_FILTER_REF : GST_RTSP_FILTER_KEEP;
}

struct ClientClosing {
    CRestreamServer* Server = nullptr;
    GstElement* Appsrc = nullptr;  // a reference
    bool Stalled = false;
};
}  // namespace

int64_t CRestreamServer::SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CRestreamServer::CRestreamServer(RestreamOptions options, LogFn log, CLoginLockout::ClockFn clock)
    : options_(std::move(options)), log_(std::move(log)), lockout_(std::move(clock)) {}

CRestreamServer::~CRestreamServer() {
    Stop();
}

std::string CRestreamServer::Start() {
    if (thread_.joinable()) return {};
    if (options_.Password.empty()) return "网络串流未启动: 未设置密码";
    if (options_.User.empty()) return "网络串流未启动: 未设置用户名";
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        std::string reason = std::string("网络串流未启动: ") + error->message;
        g_error_free(error);
        return reason;
    }
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    server_ = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server_, options_.Address.c_str());
    gst_rtsp_server_set_service(server_, std::to_string(options_.Port).c_str());

    GstRTSPAuth* auth = gst_rtsp_auth_new();
    gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
    GstRTSPToken* token =
        gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kViewerRole, nullptr);
    gst_rtsp_auth_add_digest(auth, options_.User.c_str(), options_.Password.c_str(), token);
    gst_rtsp_token_unref(token);
    gst_rtsp_server_set_auth(server_, auth);
    g_object_unref(auth);
    g_signal_connect(server_, "client-connected", G_CALLBACK(OnClientConnected), this);

    source_ = gst_rtsp_server_create_source(server_, nullptr, &error);
    if (source_ == nullptr) {
        std::string reason = "网络串流未启动: 无法监听 " + options_.Address + ":" +
                             std::to_string(options_.Port) + " (" +
                             (error != nullptr ? error->message : "unknown error") + ")";
        if (error != nullptr) g_error_free(error);
        Release();
        return reason;
    }
    boundPort_ = gst_rtsp_server_get_bound_port(server_);
    g_source_attach(source_, context_);
    thread_ = std::thread([this] {
        // The clients' sources attach to the thread's default context.
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    if (log_) log_("网络串流已启动, 监听 " + options_.Address + ":" + std::to_string(boundPort_));
    return {};
}

void CRestreamServer::Stop() {
    if (!thread_.joinable()) return;
    g_main_context_invoke(
        context_,
        [](gpointer self) -> gboolean {
            auto* server = static_cast<CRestreamServer*>(self);
            gst_rtsp_server_client_filter(
                server->server_,
                [](GstRTSPServer*, GstRTSPClient*, gpointer) { return GST_RTSP_FILTER_REMOVE; },
                nullptr);
            g_main_loop_quit(server->loop_);
            return G_SOURCE_REMOVE;
        },
        this);
    thread_.join();
    for (auto& [index, published] : published_) published.Feed->Close();
    published_.clear();
    Release();
}

void CRestreamServer::Release() {
    if (source_ != nullptr) {
        g_source_destroy(source_);
        g_source_unref(source_);
        source_ = nullptr;
    }
    if (server_ != nullptr) {
        g_object_unref(server_);
        server_ = nullptr;
    }
    if (loop_ != nullptr) {
        g_main_loop_unref(loop_);
        loop_ = nullptr;
    }
    if (context_ != nullptr) {
        g_main_context_unref(context_);
        context_ = nullptr;
    }
    boundPort_ = 0;
}

IStreamTap* CRestreamServer::Publish(int cameraIndex1Based, const std::string& customName) {
    if (server_ == nullptr || published_.count(cameraIndex1Based) != 0) return nullptr;
    std::vector<std::string> paths{CameraNumberPath(cameraIndex1Based)};
    const std::string namePath = CameraNamePath(customName);
    if (!namePath.empty() && namePath != paths.front()) {
        bool taken = false;
        for (const auto& [index, other] : published_) {
            for (const auto& path : other.Paths) taken = taken || path == namePath;
        }
        if (taken) {
            if (log_)
                log_("网络串流: 路径 " + namePath + " 已被占用, 摄像头 " +
                     std::to_string(cameraIndex1Based) + " 只能按编号访问");
        } else {
            paths.push_back(namePath);
        }
    }
    std::lock_guard handOver(gHandOver);
    auto feed = std::make_shared<CCameraFeed>(
        CCameraFeed::kClientQueueBytes, CCameraFeed::ClockFn{},
        [this](GstElement* appsrc, bool stalled) { CloseClientOf(appsrc, stalled); });
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server_);
    for (const auto& path : paths) {
        GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
        gst_rtsp_media_factory_set_launch(factory, kLaunch);
        gst_rtsp_media_factory_set_shared(factory, FALSE);
        gst_rtsp_media_factory_add_role(factory, kViewerRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                        G_TYPE_BOOLEAN, TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT,
                                        G_TYPE_BOOLEAN, TRUE, nullptr);
        g_signal_connect_data(factory, "media-configure", G_CALLBACK(OnMediaConfigure),
                              new std::shared_ptr<CCameraFeed>(feed), DeleteFeedRef,
                              GConnectFlags(0));
        gst_rtsp_mount_points_add_factory(mounts, path.c_str(), factory);
    }
    g_object_unref(mounts);
    IStreamTap* tap = feed.get();
    published_[cameraIndex1Based] = Published{std::move(feed), std::move(paths)};
    return tap;
}

void CRestreamServer::Unpublish(int cameraIndex1Based) {
    auto found = published_.find(cameraIndex1Based);
    if (found == published_.end()) return;
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server_);
    for (const auto& path : found->second.Paths) {
        gst_rtsp_mount_points_remove_factory(mounts, path.c_str());
    }
    g_object_unref(mounts);
    found->second.Feed->Close();
    published_.erase(found);
}

void CRestreamServer::OnClientConnected(GstRTSPServer*, GstRTSPClient* client, gpointer self) {
    auto* server = static_cast<CRestreamServer*>(self);
    const int count = ++server->clients_;
    const std::string address = ClientAddress(client);
    int refusal = 0;
    if (count > server->options_.MaxClients) {
        refusal = GST_RTSP_STS_SERVICE_UNAVAILABLE;
        if (server->log_) {
            server->log_("网络串流: 拒绝客户端 " + address + ", 已有 " +
                         std::to_string(server->options_.MaxClients) + " 个客户端");
        }
    }
    g_object_set_data(G_OBJECT(client), kRefusalKey, GINT_TO_POINTER(refusal));
    g_signal_connect(client, "closed", G_CALLBACK(OnClientClosed), self);
    g_signal_connect(client, "send-message", G_CALLBACK(OnSendMessage), self);
    // Not OPTIONS: this library version frees a refused OPTIONS answer that it does not
    // own. A client needs DESCRIBE, SETUP and PLAY for a picture anyway.
    for (const char* request : {"pre-describe-request", "pre-setup-request", "pre-play-request",
                                "pre-get-parameter-request"}) {
        g_signal_connect(client, request, G_CALLBACK(OnRequest), self);
    }
    TakeHandOver();  // the client goes to a pool thread next
}

void CRestreamServer::OnClientClosed(GstRTSPClient*, gpointer self) {
    TakeHandOver();
    --static_cast<CRestreamServer*>(self)->clients_;
}

GstRTSPStatusCode CRestreamServer::OnRequest(GstRTSPClient* client, GstRTSPContext*,
                                             gpointer self) {
    auto* server = static_cast<CRestreamServer*>(self);
    TakeHandOver();
    const int refusal = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(client), kRefusalKey));
    if (refusal != 0) return static_cast<GstRTSPStatusCode>(refusal);
    std::lock_guard lock(server->lockoutMutex_);
    return server->lockout_.IsRefused(ClientAddress(client)) ? GST_RTSP_STS_FORBIDDEN
                                                             : GST_RTSP_STS_OK;
}

void CRestreamServer::OnSendMessage(GstRTSPClient* client, GstRTSPContext* context,
                                    GstRTSPMessage* message, gpointer self) {
    auto* server = static_cast<CRestreamServer*>(self);
    if (gst_rtsp_message_get_type(message) != GST_RTSP_MESSAGE_RESPONSE) return;
    TakeHandOver();
    GstRTSPStatusCode code = GST_RTSP_STS_OK;
    gst_rtsp_message_parse_response(message, &code, nullptr, nullptr);
    // A 401 to a request without credentials is the normal first step of a login.
    gchar* credentials = nullptr;
    if (code != GST_RTSP_STS_UNAUTHORIZED || context == nullptr || context->request == nullptr ||
        gst_rtsp_message_get_header(context->request, GST_RTSP_HDR_AUTHORIZATION, &credentials,
                                    0) != GST_RTSP_OK) {
        return;
    }
    const std::string address = ClientAddress(client);
    bool refusedNow = false;
    {
        std::lock_guard lock(server->lockoutMutex_);
        refusedNow = server->lockout_.RecordFailure(address);
    }
    if (!server->log_) return;
    server->log_("网络串流: 来自 " + address + " 的登录失败");
    if (refusedNow) {
        server->log_("网络串流: " + address + " 登录失败 " +
                     std::to_string(CLoginLockout::kMaxFailures) + " 次, 拒绝 " +
                     std::to_string(CLoginLockout::kLockMs / 1000) + " 秒");
    }
}

void CRestreamServer::CloseClientOf(GstElement* appsrc, bool stalled) {
    ClientClosing* closing = nullptr;
    {
        std::lock_guard lock(gHandOver);
        closing = new ClientClosing{this, GST_ELEMENT(gst_object_ref(appsrc)), stalled};
    }
    g_main_context_invoke_full(
        context_, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            ClientClosing what;
            {
                std::lock_guard lock(gHandOver);
                what = *static_cast<ClientClosing*>(data);
            }
            CRestreamServer* server = what.Server;
            MediaSearch search{what.Appsrc};
            GList* found = gst_rtsp_server_client_filter(server->server_, FindClient, &search);
            for (GList* item = found; item != nullptr; item = item->next) {
                auto* client = GST_RTSP_CLIENT(item->data);
                if (what.Stalled && server->log_) {
                    server->log_("网络串流: 客户端 " + ClientAddress(client) + " " +
                                 std::to_string(CCameraFeed::kStallMs / 1000) +
                                 " 秒未接收数据, 已断开");
                }
                gst_rtsp_client_close(client);
            }
            g_list_free_full(found, g_object_unref);
            return G_SOURCE_REMOVE;
        },
        closing,
        [](gpointer data) {
            std::lock_guard lock(gHandOver);
            auto* closing = static_cast<ClientClosing*>(data);
            gst_object_unref(closing->Appsrc);
            delete closing;
        });
}
