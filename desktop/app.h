// What the program's entry point asks of the Qt front end.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "script/script.h"


class QSocketNotifier;

namespace farvane {

// While it lives, SIGTERM, SIGINT and SIGHUP call `onStop` with the signal's number on the event
// loop (a QCoreApplication must exist), instead of ending the program where it stands.
class StopSignals {
public:
    explicit StopSignals(std::function<void(int)> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::function<void(int)> stop;
    std::unique_ptr<QSocketNotifier> notifier;
};

// Opens the game window and runs it until the program ends; records to `recordPath` if not empty,
// or plays `watch` in it, a script read and checked before.
int runWindow(int& argc, char** argv, const std::string& recordPath, std::optional<ReplayScript> watch = std::nullopt);

} // namespace farvane
