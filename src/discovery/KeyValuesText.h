// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Valve's KeyValues text, the format of Steam's .vdf files: pairs of a quoted key and either a
// quoted value or a block of further pairs in braces.
namespace kelmora {

struct KeyValuesNode {
    std::string key;
    std::string value;                    // for a pair with a value
    std::vector<KeyValuesNode> children;  // for a pair with a block
    bool isBlock = false;
};

// The pairs of a KeyValues text, or nothing when the text is damaged: a quote or block left
// open, a key without a value, a stray brace, or blocks nested deeper than any Steam file does.
std::optional<std::vector<KeyValuesNode>> ParseKeyValues(std::string_view text);

// The first pair among `nodes` whose key equals `key` without regard to letter case.
const KeyValuesNode* FindKeyValue(const std::vector<KeyValuesNode>& nodes, std::string_view key);

}  // namespace kelmora
