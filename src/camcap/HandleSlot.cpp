#include "camcap/HandleSlot.h"

CHandleSlot::State CHandleSlot::BeginOpening(std::shared_ptr<CCaptureSession> session) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::Reserved) return state_;
    state_ = State::Opening;
    session_ = std::move(session);
    return State::Reserved;
}

bool CHandleSlot::FinishOpening() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::Opening) return false;
    state_ = State::Open;
    return true;
}

std::shared_ptr<CCaptureSession> CHandleSlot::Close(State* before) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (before != nullptr) *before = state_;
    state_ = State::Closed;
    return session_;
}

std::shared_ptr<CCaptureSession> CHandleSlot::OpenSession() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_ == State::Open ? session_ : nullptr;
}
