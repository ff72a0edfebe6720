// The restream server as the program runs it: on or off by the [RTSP] settings, and
// restarted with new ones while cameras are open. Each camera a cell opens gets a
// tap that outlives restarts, so a camera keeps being offered (by its place in the
// camera list and its name) whenever a server runs.
//
// Threads: Publish and the taps' ends on the opening threads or the UI thread; Apply
// and Settings on the UI thread; the taps' OnAccessUnit on the capture threads. The
// service must outlive every tap it gave.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/RestreamSettings.h"
#include "capture/StreamTap.h"

class CRestreamServer;

// Without GStreamer's headers, which clash with Qt's keywords in the windows.
class CRestreamService : public IStreamPublisher {
public:
    using LogFn = std::function<void(const std::string&)>;

    explicit CRestreamService(LogFn log);
    ~CRestreamService() override;
    CRestreamService(const CRestreamService&) = delete;
    CRestreamService& operator=(const CRestreamService&) = delete;

    // Stops the running server, if any, and starts one with settings when they enable
    // it. Empty on success or when off, else why no server runs (also logged).
    std::string Apply(const RestreamSettings& settings);
    RestreamSettings Settings() const;
    // The port the server listens on; 0 when none runs.
    int Port() const;

    std::shared_ptr<IStreamTap> Publish(int place, const std::string& customName) override;

private:
    class CRelay;
    void Withdraw(int place, CRelay* relay);

    const LogFn log_;
    mutable std::mutex mutex_;   // held for every change, and while a server starts or stops
    RestreamSettings settings_;  // under mutex_
    std::unique_ptr<CRestreamServer> server_;  // under mutex_; null when off
    std::map<int, CRelay*> relays_;            // under mutex_: the open cameras by place
};
