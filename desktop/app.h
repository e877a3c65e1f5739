// What the program's entry point asks of the Qt front end.
#pragma once

#include <array>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "midend/window.h"

class QSocketNotifier;

namespace farvane {

// While it lives, SIGTERM, SIGINT and SIGHUP call `onStop` with the signal's number on the event
// loop (a QCoreApplication must exist), instead of ending the program where it stands; one that
// is ignored stays ignored.
class StopSignals {
public:
    explicit StopSignals(std::function<void(int)> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::function<void(int)> stop;
    std::unique_ptr<QSocketNotifier> notifier;
    std::array<struct sigaction, 3> previous{}; // by HandledSignals, as they were
    std::array<bool, 3> installed{};
};

} // namespace farvane
