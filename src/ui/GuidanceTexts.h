// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The texts of the release notes and the installation help, lines separated by CR alone.
namespace kelmora {

// The release notes: three paragraphs with a blank line between them.
std::string ReleaseNotesText();

inline constexpr int kProblemCount = 5;

// The problem with index 0 to kProblemCount - 1, as the help lists it.
std::string ProblemText(int index);

// The resolution of problem `index`: two or three paragraphs with a blank line between them;
// empty for an index that names no problem.
std::string ResolutionText(int index);

}  // namespace kelmora
