// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PackProgress.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

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

}  // namespace kelmora
