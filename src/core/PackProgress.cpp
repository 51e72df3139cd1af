// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PackProgress.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "platform/StopSignals.h"

namespace kelmora {

std::uint8_t lastPackPercent = 0;

namespace {
InstallDisplay* packDisplay = nullptr;
}

void SetPackDisplay(InstallDisplay* display) {
    packDisplay = display;
}

std::int64_t WholePercent(double done, double total) {
    return static_cast<std::int64_t>(std::floor(done / total * 100));
}

std::int32_t PackProgress(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                          std::int32_t, std::int32_t a7, std::int32_t a8) {
    if (a8 == 0) {
        if (packDisplay) packDisplay->Repaint();
        return 0;
    }
    std::int64_t percent = WholePercent(a7, a8);
    if (percent == lastPackPercent) return 0;
    if (percent >= 0 && percent <= std::numeric_limits<std::uint8_t>::max()) {
        lastPackPercent = static_cast<std::uint8_t>(percent);
    }
    if (packDisplay) {
        packDisplay->SetPercentText(std::to_string(percent) + "%");
        // The track clips a bar outside it.
        packDisplay->SetBar(static_cast<int>(std::clamp<std::int64_t>(percent, 0, 100)));
        packDisplay->Repaint();
    }
    return 0;
}

std::int32_t PackProgressUnlessStopped(std::int32_t a1, std::int32_t a2, std::int32_t a3,
                                       std::int32_t a4, std::int32_t a5, std::int32_t a6,
                                       std::int32_t a7, std::int32_t a8) {
    StopIfRequested();
    return PackProgress(a1, a2, a3, a4, a5, a6, a7, a8);
}

}  // namespace kelmora
