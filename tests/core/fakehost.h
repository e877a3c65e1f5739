// A host for tests: records every message box and End call instead of showing or ending anything.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "playfield/host.h"

namespace farvane::test {

class FakeHost : public Host {
public:
    struct Box {
        std::string prompt;
        std::string title;
    };

    void MsgBox(std::string_view prompt, std::string_view title) override
    {
        boxes.push_back(Box{std::string(prompt), std::string(title)});
        if (onMsgBox)
            onMsgBox();
    }
    void End() override { ++ends; }

    std::vector<Box> boxes;
    int ends = 0;
    // Runs inside MsgBox, while the caller waits for the box to be dismissed.
    std::function<void()> onMsgBox;
};

} // namespace farvane::test
