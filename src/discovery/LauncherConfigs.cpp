// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/LauncherConfigs.h"

#include <yaml.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "discovery/KeyValuesText.h"

namespace kelmora {

namespace {

// Lutris's files nest three levels; libyaml slows down sharply on deep nesting, so a file
// nested far deeper is given up as damaged before it gets there.
constexpr size_t kDeepestYaml = 16;

bool IsNumber(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A plain scalar that YAML reads as null ("prefix: ~" is no folder named "~").
bool IsNull(const yaml_event_t& event) {
    if (event.data.scalar.style != YAML_PLAIN_SCALAR_STYLE) return false;
    const std::string_view text(reinterpret_cast<const char*>(event.data.scalar.value),
                                event.data.scalar.length);
    return text.empty() || text == "~" || text == "null" || text == "Null" || text == "NULL";
}

// Walks a YAML stream's events, keeping the keys that lead to the current node, so that a
// value can be picked out by its path of keys.
class YamlKeyPath {
public:
    explicit YamlKeyPath(std::vector<std::string> path) : path_(std::move(path)) {
        yaml_parser_initialize(&parser_);
    }
    ~YamlKeyPath() { yaml_parser_delete(&parser_); }
    YamlKeyPath(const YamlKeyPath&) = delete;
    YamlKeyPath& operator=(const YamlKeyPath&) = delete;

    // The text value at the path in the first document of `text`; nothing when it is missing or
    // null, or the text is damaged before it.
    std::optional<std::string> Find(std::string_view text) {
        yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(text.data()),
                                     text.size());
        while (!done_) {
            yaml_event_t event;
            if (!yaml_parser_parse(&parser_, &event)) return std::nullopt;
            Take(event);
            yaml_event_delete(&event);
        }
        return value_;
    }

private:
    struct Level {
        bool isMapping = false;
        bool nextIsKey = true;
        std::string key;  // empty under a key that is no text
    };

    // The walk is done at the value, at the document's end, or when the nesting is too deep.
    void Take(const yaml_event_t& event) {
        switch (event.type) {
            case YAML_MAPPING_START_EVENT:
            case YAML_SEQUENCE_START_EVENT:
                if (InKeyPosition()) levels_.back().key.clear();
                levels_.push_back({event.type == YAML_MAPPING_START_EVENT, true, {}});
                done_ = levels_.size() > kDeepestYaml;
                return;
            case YAML_MAPPING_END_EVENT:
            case YAML_SEQUENCE_END_EVENT:
                if (!levels_.empty()) levels_.pop_back();
                NodeDone();
                return;
            case YAML_SCALAR_EVENT:
                Scalar(event);
                NodeDone();
                return;
            case YAML_ALIAS_EVENT:
                if (InKeyPosition()) levels_.back().key.clear();
                NodeDone();
                return;
            case YAML_DOCUMENT_END_EVENT:
            case YAML_STREAM_END_EVENT:
                done_ = true;
                return;
            default:
                return;
        }
    }

    void Scalar(const yaml_event_t& event) {
        std::string text(reinterpret_cast<const char*>(event.data.scalar.value),
                         event.data.scalar.length);
        if (InKeyPosition()) {
            levels_.back().key = std::move(text);
        } else if (AtPath()) {
            if (!IsNull(event)) value_ = std::move(text);
            done_ = true;
        }
    }

    bool InKeyPosition() const {
        return !levels_.empty() && levels_.back().isMapping && levels_.back().nextIsKey;
    }

    // A node of the innermost mapping is complete: keys and values take turns.
    void NodeDone() {
        if (!levels_.empty() && levels_.back().isMapping)
            levels_.back().nextIsKey = !levels_.back().nextIsKey;
    }

    bool AtPath() const {
        if (levels_.size() != path_.size()) return false;
        for (size_t i = 0; i < path_.size(); ++i) {
            const Level& level = levels_[i];
            if (!level.isMapping || level.nextIsKey || level.key != path_[i]) return false;
        }
        return true;
    }

    const std::vector<std::string> path_;
    yaml_parser_t parser_;
    std::vector<Level> levels_;
    bool done_ = false;
    std::optional<std::string> value_;
};

}  // namespace

std::vector<std::string> SteamLibraryPaths(std::string_view vdfText) {
    std::vector<std::string> paths;
    const std::optional<std::vector<KeyValuesNode>> root = ParseKeyValues(vdfText);
    if (!root) return paths;
    const KeyValuesNode* folders = FindKeyValue(*root, "libraryfolders");
    if (folders == nullptr || !folders->isBlock) return paths;
    for (const KeyValuesNode& entry : folders->children) {
        if (!IsNumber(entry.key)) continue;
        if (!entry.isBlock) {
            paths.push_back(entry.value);
        } else if (const KeyValuesNode* path = FindKeyValue(entry.children, "path");
                   path != nullptr && !path->isBlock) {
            paths.push_back(path->value);
        }
    }
    return paths;
}

std::optional<SteamApp> SteamAppManifest(std::string_view acfText) {
    const std::optional<std::vector<KeyValuesNode>> root = ParseKeyValues(acfText);
    const KeyValuesNode* state = root ? FindKeyValue(*root, "AppState") : nullptr;
    if (state == nullptr || !state->isBlock) return std::nullopt;
    const KeyValuesNode* appId = FindKeyValue(state->children, "appid");
    const KeyValuesNode* installDir = FindKeyValue(state->children, "installdir");
    // The id becomes a folder name: digits only, so it can name nothing else.
    if (appId == nullptr || appId->isBlock || !IsNumber(appId->value) || installDir == nullptr ||
        installDir->isBlock || installDir->value.empty())
        return std::nullopt;
    return SteamApp{appId->value, installDir->value};
}

std::optional<std::string> LutrisGamePrefix(std::string_view ymlText) {
    return YamlKeyPath({"game", "prefix"}).Find(ymlText);
}

std::vector<std::string> HeroicWinePrefixes(std::string_view jsonText) {
    std::vector<std::string> prefixes;
    const nlohmann::ordered_json settings = nlohmann::ordered_json::parse(jsonText, nullptr, false);
    if (!settings.is_object()) return prefixes;
    for (const auto& [name, game] : settings.items()) {
        if (!game.is_object()) continue;
        const auto prefix = game.find("winePrefix");
        if (prefix != game.end() && prefix->is_string())
            prefixes.push_back(prefix->get<std::string>());
    }
    return prefixes;
}

}  // namespace kelmora
