// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Invariant.h"
#include "app/DemoSandbox.h"
#include "platform/FaultInjection.h"

// What a power cut leaves of a folder tree, as the crash-consistency studies (ALICE, CrashMonkey)
// model a file system: a file's data reaches the disk only when the file is flushed, and a
// folder's names only when the folder is flushed; everything else done since is lost.
//
// The model follows the operations the fault seam reports, one by one, keeping the names as they
// are now (checked against the disk at every step, so that an operation the seam missed shows)
// and as they are on the disk. At each step it gives the states a power cut may leave: the names
// as on the disk; the names as they are now but with only the data on the disk (a rename that
// reached the disk before the data of the file renamed); and the names on the disk with any one
// change not yet flushed reaching it before the others (a file system may write them in any
// order).
namespace kelmora::reliability {

class PowerCutModel {
public:
    // A tree whose files are numbers in the model's store of contents; kFolder for a folder.
    using State = std::map<std::string, int>;
    static constexpr int kFolder = -1;

    // Everything below `root` now is on the disk. Changes are expected only in `writable`
    // (relative folder names); an operation elsewhere is a problem.
    PowerCutModel(std::filesystem::path root, std::vector<std::string> writable)
        : root_(std::move(root)), writable_(std::move(writable)) {
        NewNode(true);
        empty_ = Store("");
        Load(0, root_);
    }

    // The states a power cut now may leave (see above).
    std::vector<State> AfterPowerCut() const {
        std::vector<State> states{Walk({}, false), Walk({}, true)};
        for (const std::vector<Change>& pending : pending_) {
            std::map<int, std::map<std::string, int>> overlay;
            for (const Change& change : pending) {
                auto [names, fresh] =
                    overlay.try_emplace(change.folder, nodes_[change.folder].onDisk);
                if (change.node < 0)
                    names->second.erase(change.name);
                else
                    names->second[change.name] = change.node;
            }
            states.push_back(Walk(overlay, false));
        }
        return states;
    }

    // Takes note of the operation about to run.
    void Before(const faults::Operation& operation) {
        if (problem_.empty()) CheckAgainstDisk();
        const std::filesystem::path relative = operation.path.lexically_relative(root_);
        const bool changes = operation.op != faults::Op::kRead && operation.op != faults::Op::kList;
        if (changes && !Writable(relative))
            Note("an operation outside the game and package folders: " + operation.path.string());
        switch (operation.op) {
            case faults::Op::kCreateFile:
            case faults::Op::kCreateFolder:
                if (Find(relative) < 0) {
                    std::vector<Change> created;
                    Link(relative, NewNode(operation.op == faults::Op::kCreateFolder), created);
                    pending_.push_back(created);
                }
                break;
            case faults::Op::kRename: {
                const std::filesystem::path from = operation.from.lexically_relative(root_);
                const int moved = Find(from);
                std::vector<Change> renamed;
                Unlink(from, renamed);
                if (moved >= 0) Link(relative, moved, renamed);
                pending_.push_back(renamed);
                break;
            }
            case faults::Op::kDeleteFile:
            case faults::Op::kDeleteTree: {
                std::vector<Change> deleted;
                Unlink(relative, deleted);
                pending_.push_back(deleted);
                break;
            }
            case faults::Op::kFlushFile:
                if (const int node = Find(relative); node >= 0)
                    nodes_[node].data = Store(ReadAll(operation.path));
                break;
            case faults::Op::kFlushFolder:
                if (const int node = Find(relative); node >= 0) {
                    nodes_[node].onDisk = nodes_[node].names;
                    Flushed(node);
                }
                break;
            default:
                break;
        }
    }

    const std::string& Content(int id) const { return contents_[static_cast<size_t>(id)]; }
    int Store(const std::string& content) {
        auto [slot, added] = stored_.try_emplace(content, static_cast<int>(contents_.size()));
        if (added) contents_.push_back(content);
        return slot->second;
    }
    // The content of a relative path in a state, or nothing.
    std::optional<std::string> ContentAt(const State& state, const std::string& path) const {
        auto found = state.find(path);
        if (found == state.end() || found->second == kFolder) return std::nullopt;
        return Content(found->second);
    }

    // Writes a state below `root`, as a disk after a power cut holds it.
    void Materialize(const State& state, const std::filesystem::path& root) const {
        for (const auto& [path, id] : state) {
            if (id == kFolder) {
                std::filesystem::create_directories(root / path);
            } else if (const std::string& content = Content(id); content.starts_with("<size ")) {
                PadFile(root / path, std::stoull(content.substr(6)));
            } else {
                testing::WriteFile(root / path, content);
            }
        }
    }

    // The first way the model and the disk (or the rules) parted, or nothing.
    const std::string& problem() const { return problem_; }

private:
    // One change to a folder's names: `node` under `name`, or (-1) the name gone.
    struct Change {
        int folder;
        std::string name;
        int node;
    };

    struct Node {
        bool folder = false;
        std::map<std::string, int> names;   // as now (folders)
        std::map<std::string, int> onDisk;  // as on the disk (folders)
        int data = -1;                      // the content on the disk (files); -1: none yet
    };

    int NewNode(bool folder) {
        Node node;
        node.folder = folder;
        nodes_.push_back(std::move(node));
        return static_cast<int>(nodes_.size()) - 1;
    }

    // The two big game files are only ever compared by size.
    std::string ContentOf(const std::filesystem::path& file) {
        const std::string name = file.filename().string();
        if (name == "totala1.hpi" || name == "ccdata.ccx")
            return "<size " + std::to_string(std::filesystem::file_size(file)) + ">";
        return ReadAll(file);
    }

    void Load(int folder, const std::filesystem::path& host) {
        for (const auto& entry : std::filesystem::directory_iterator(host)) {
            const bool isFolder = entry.is_directory();
            const int node = NewNode(isFolder);
            if (isFolder) {
                Load(node, entry.path());
            } else {
                nodes_[node].data = Store(ContentOf(entry.path()));
            }
            const std::string name = entry.path().filename().string();
            nodes_[folder].names[name] = node;
            nodes_[folder].onDisk[name] = node;
        }
    }

    bool Writable(const std::filesystem::path& relative) const {
        const std::string first = relative.empty() ? "" : relative.begin()->string();
        for (const std::string& folder : writable_)
            if (first == folder) return true;
        return false;
    }

    // The node a relative path names now, or -1.
    int Find(const std::filesystem::path& relative) const {
        int node = 0;
        for (const auto& part : relative) {
            const auto& names = nodes_[node].names;
            auto found = names.find(part.string());
            if (found == names.end()) return -1;
            node = found->second;
        }
        return node;
    }

    void Link(const std::filesystem::path& relative, int node, std::vector<Change>& changes) {
        const int parent = Find(relative.parent_path());
        if (parent < 0) return Note("no folder for " + relative.string());
        nodes_[parent].names[relative.filename().string()] = node;
        changes.push_back({parent, relative.filename().string(), node});
    }

    void Unlink(const std::filesystem::path& relative, std::vector<Change>& changes) {
        const int parent = Find(relative.parent_path());
        if (parent < 0) return;
        nodes_[parent].names.erase(relative.filename().string());
        changes.push_back({parent, relative.filename().string(), -1});
    }

    // A flushed folder's changes are on the disk: no longer pending.
    void Flushed(int folder) {
        for (std::vector<Change>& changes : pending_)
            std::erase_if(changes, [&](const Change& change) { return change.folder == folder; });
        std::erase_if(pending_, [](const std::vector<Change>& changes) { return changes.empty(); });
    }

    using Overlay = std::map<int, std::map<std::string, int>>;

    State Walk(const Overlay& overlay, bool namesAsNow) const {
        State state;
        Walk(0, "", overlay, namesAsNow, state);
        return state;
    }

    void Walk(int folder, const std::string& prefix, const Overlay& overlay, bool namesAsNow,
              State& state) const {
        const Node& node = nodes_[folder];
        const auto over = overlay.find(folder);
        const auto& names = over != overlay.end() ? over->second
                            : namesAsNow          ? node.names
                                                  : node.onDisk;
        for (const auto& [name, child] : names) {
            const std::string path = prefix + name;
            if (nodes_[child].folder) {
                state[path] = kFolder;
                Walk(child, path + "/", overlay, namesAsNow, state);
            } else {
                state[path] = nodes_[child].data >= 0 ? nodes_[child].data : empty_;
            }
        }
    }

    void ListNames(int folder, const std::string& prefix, std::map<std::string, bool>& out) const {
        for (const auto& [name, child] : nodes_[folder].names) {
            out[prefix + name] = nodes_[child].folder;
            if (nodes_[child].folder) ListNames(child, prefix + name + "/", out);
        }
    }

    void CheckAgainstDisk() {
        std::map<std::string, bool> modelled, onDisk;
        ListNames(0, "", modelled);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
            onDisk[entry.path().lexically_relative(root_).generic_string()] =
                entry.is_directory() && !entry.is_symlink();
        }
        if (modelled != onDisk)
            Note("the model and the disk differ:" + Difference(Names(modelled), Names(onDisk)));
    }

    static Tree Names(const std::map<std::string, bool>& names) {
        Tree tree;
        for (const auto& [name, folder] : names) tree[name] = folder ? "<folder>" : "";
        return tree;
    }

    void Note(const std::string& text) {
        if (problem_.empty()) problem_ = text;
    }

    std::filesystem::path root_;
    std::vector<std::string> writable_;
    std::vector<Node> nodes_;
    std::vector<std::vector<Change>> pending_;  // changes to names not yet flushed, in order
    std::vector<std::string> contents_;
    std::unordered_map<std::string, int> stored_;
    int empty_ = 0;  // a file whose data never reached the disk
    std::string problem_;
};

}  // namespace kelmora::reliability
