// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// windows.h as every file of ours takes it: without the min and max macros, which break
// std::min and std::max, and without the parts of the API nothing here uses.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
