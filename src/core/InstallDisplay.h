// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// What the install procedure shows while it runs: the install window draws it, the unattended
// mode prints it, tests record it.
namespace kelmora {

class InstallDisplay {
public:
    virtual ~InstallDisplay() = default;
    // Sets the current-action text and shows it at once.
    virtual void SetAction(const std::string& text) = 0;
    // Sets the percentage text over the bar ("42%").
    virtual void SetPercentText(const std::string& text) = 0;
    // Sets the bar's width as a percentage of the track.
    virtual void SetBar(int percent) = 0;
    // Shows everything set so far on screen before the run goes on.
    virtual void Repaint() = 0;
};

}  // namespace kelmora
