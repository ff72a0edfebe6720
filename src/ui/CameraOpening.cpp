#include "ui/CameraOpening.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

// One lock per device name, held by an opening from before it opens until it has
// closed again when cancelled. Never removed: there are only a few devices.
std::shared_ptr<std::mutex> DeviceTurn(const DeviceInfo& record) {
    static std::mutex registryLock;
    static std::map<std::string, std::shared_ptr<std::mutex>> turns;  // guarded by registryLock
    const std::string name(record.DeviceName, strnlen(record.DeviceName, sizeof record.DeviceName));
    std::lock_guard<std::mutex> lock(registryLock);
    std::shared_ptr<std::mutex>& turn = turns[name];
    if (!turn) turn = std::make_shared<std::mutex>();
    return turn;
}

}  // namespace

CCameraOpening::CCameraOpening(const DeviceInfo& record, CFrameSlot& slot, uint64_t generation,
                               HWND notice, std::function<void()> done)
    : record_(record), notice_(notice), done_(std::move(done)) {
    camera_.Target = std::make_unique<CFrameForwarder>(slot, generation);
    camera_.Channel = std::make_unique<CCameraChannel>();
    thread_ = std::thread(&CCameraOpening::Run, this);
}

CCameraOpening::~CCameraOpening() {
    Cancel();
    if (thread_.joinable()) thread_.join();
}

void CCameraOpening::Run() {
    {
        const std::shared_ptr<std::mutex> turn = DeviceTurn(record_);
        std::lock_guard<std::mutex> lock(*turn);
        if (!cancelled_.load()) {
            // The library only reads the record, during this call.
            result_ = camera_.Channel->Open(camera_.Target.get(), const_cast<DeviceInfo*>(&record_),
                                            notice_);
        }
        // Decided once, under the turn: a camera kept here is handed over by Finish,
        // and the cell closes it if it was cancelled meanwhile.
        kept_ = !cancelled_.load();
        if (!kept_) camera_.Channel->Close();
    }
    done_();
}

COpenCamera CCameraOpening::Finish(int* result) {
    if (thread_.joinable()) thread_.join();
    if (result != nullptr) *result = result_;
    if (!kept_) return {};
    return std::move(camera_);
}
