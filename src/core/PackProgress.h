// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "core/InstallDisplay.h"

// The archive library's packing callback and the display it drives.
namespace kelmora {

// The last percentage shown while packing; kept across runs, as a screen that already shows a
// percentage need not show it again.
extern std::uint8_t lastPackPercent;

// Shows the whole part of a7 / a8 * 100 as the packing percentage, repainting only when it
// changed. Always returns 0: packing is never interrupted.
std::int32_t PackProgress(std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t a4,
                          std::int32_t a5, std::int32_t a6, std::int32_t a7, std::int32_t a8);

// PackProgress, which also ends the packing when the run is asked to stop (StopSignals.h), by
// raising run-time error 18: the library then leaves the archive it was replacing as it was.
std::int32_t PackProgressUnlessStopped(std::int32_t a1, std::int32_t a2, std::int32_t a3,
                                       std::int32_t a4, std::int32_t a5, std::int32_t a6,
                                       std::int32_t a7, std::int32_t a8);

// The display PackProgress draws on (nullptr: none). The library's callback carries no context
// of its own, so the install run sets it for the time it packs.
void SetPackDisplay(InstallDisplay* display);

// Points the packing callback at a display for the life of the object.
class PackDisplayScope {
public:
    explicit PackDisplayScope(InstallDisplay& display) { SetPackDisplay(&display); }
    ~PackDisplayScope() { SetPackDisplay(nullptr); }
    PackDisplayScope(const PackDisplayScope&) = delete;
    PackDisplayScope& operator=(const PackDisplayScope&) = delete;
};

// The percentage shown for `done` of `total`: its whole part, never rounded up.
std::int64_t WholePercent(double done, double total);

}  // namespace kelmora
