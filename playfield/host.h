// What the form asks of the program that runs it: a modal message box, and the end of the program.
#pragma once

#include <string_view>

namespace farvane {

class Host {
public:
    virtual ~Host() = default;
    // Shows a modal box with one OK button and no icon; returns once it is dismissed.
    virtual void MsgBox(std::string_view prompt, std::string_view title) = 0;
    // Ends the program at once. The caller returns straight after; the host stops the event flow.
    virtual void End() = 0;
};

} // namespace farvane
