// Turns SIGTERM, SIGINT and SIGHUP (a logout, a service stop, Ctrl+C on a terminal)
// into an orderly end of the main window, so that every recording is closed with what
// it still holds instead of the process dying mid-write. The signal handler only
// writes a byte to a pipe; the window is ended on the UI thread when the byte arrives.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

class CTermination : public QObject {
    Q_OBJECT

public:
    // onSignal runs on the UI thread when one of the signals has arrived.
    explicit CTermination(std::function<void()> onSignal, QObject* parent = nullptr);
    ~CTermination() override;

private:
    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;  // child, owned by Qt
};
