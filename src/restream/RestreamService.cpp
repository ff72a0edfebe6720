#include "restream/RestreamService.h"

#include <utility>

#include "restream/RestreamServer.h"

// A camera's tap that forwards to the feed of whichever server runs, if any.
class CRestreamService::CRelay : public IStreamTap {
public:
    CRelay(CRestreamService& service, int place, std::string name)
        : service_(service), place_(place), name_(std::move(name)) {}
    ~CRelay() override { service_.Withdraw(place_, this); }

    void OnAccessUnit(const uint8_t* data, int32_t length, int64_t wallMs) override {
        // The feed never waits, so the lock is held only for a copy into its queues.
        std::lock_guard lock(mutex_);
        if (target_ != nullptr) target_->OnAccessUnit(data, length, wallMs);
    }
    // After it returns no unit reaches the old target.
    void Attach(IStreamTap* target) {
        std::lock_guard lock(mutex_);
        target_ = target;
    }
    int Place() const { return place_; }
    const std::string& Name() const { return name_; }

private:
    CRestreamService& service_;
    const int place_;
    const std::string name_;
    std::mutex mutex_;
    IStreamTap* target_ = nullptr;  // under mutex_; a feed of the running server
};

CRestreamService::CRestreamService(LogFn log) : log_(std::move(log)) {}

CRestreamService::~CRestreamService() {
    std::lock_guard lock(mutex_);
    for (auto& [place, relay] : relays_) relay->Attach(nullptr);
    server_.reset();
}

std::string CRestreamService::Apply(const RestreamSettings& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
    for (auto& [place, relay] : relays_) relay->Attach(nullptr);
    if (server_) {
        server_.reset();  // closes its clients and joins its thread
        if (log_) log_("网络串流已停止");
    }
    if (!settings.IsEnabled()) return {};
    std::string reason = settings.Problem();
    if (reason.empty()) {
        RestreamOptions options;
        options.Address = settings.Address;
        options.Port = settings.Port;
        options.User = settings.User;
        options.Password = settings.Password;
        options.MaxClients = settings.MaxClients;
        auto server = std::make_unique<CRestreamServer>(std::move(options), log_);
        reason = server->Start();
        if (reason.empty()) server_ = std::move(server);
    } else {
        reason = "网络串流未启动: " + reason;
    }
    if (!reason.empty()) {
        if (log_) log_(reason);
        return reason;
    }
    for (auto& [place, relay] : relays_) relay->Attach(server_->Publish(place, relay->Name()));
    return {};
}

RestreamSettings CRestreamService::Settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

int CRestreamService::Port() const {
    std::lock_guard lock(mutex_);
    return server_ ? server_->BoundPort() : 0;
}

std::shared_ptr<IStreamTap> CRestreamService::Publish(int place, const std::string& customName) {
    std::lock_guard lock(mutex_);
    // A camera is open in one cell at a time; a second opening is not offered twice.
    if (place < 1 || relays_.count(place) != 0) return nullptr;
    auto relay = std::make_shared<CRelay>(*this, place, customName);
    relays_[place] = relay.get();
    if (server_) relay->Attach(server_->Publish(place, customName));
    return relay;
}

void CRestreamService::Withdraw(int place, CRelay* relay) {
    std::lock_guard lock(mutex_);
    auto found = relays_.find(place);
    if (found == relays_.end() || found->second != relay) return;
    relays_.erase(found);
    relay->Attach(nullptr);
    if (server_) server_->Unpublish(place);
}
