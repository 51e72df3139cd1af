// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "core/InstallDisplay.h"

namespace kelmora::testing {

// Records what the install shows: each repaint keeps the action, percentage and bar of that moment.
class RecordingDisplay : public InstallDisplay {
public:
    struct Frame {
        std::string action;
        std::string percent;
        int bar;
        bool operator==(const Frame&) const = default;
    };

    void SetAction(const std::string& text) override {
        action = text;
        actions.push_back(text);
    }
    void SetPercentText(const std::string& text) override { percent = text; }
    void SetBar(int value) override { bar = value; }
    void Repaint() override { frames.push_back({action, percent, bar}); }

    // The percentages shown while `action` was the current action.
    std::vector<std::string> PercentagesDuring(const std::string& during) const {
        std::vector<std::string> shown;
        for (const Frame& frame : frames) {
            if (frame.action == during) shown.push_back(frame.percent);
        }
        return shown;
    }

    std::string action;
    std::string percent = "0%";
    int bar = 0;
    std::vector<std::string> actions;
    std::vector<Frame> frames;
};

}  // namespace kelmora::testing
