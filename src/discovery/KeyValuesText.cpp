// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/KeyValuesText.h"

#include "platform/PathMapping.h"

namespace kelmora {

namespace {

// Steam's own files nest a handful of levels; far deeper is damage, and the parser recurses.
constexpr int kDeepestBlock = 32;

enum class TokenKind { End, Text, Open, Close, Damaged };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    bool quoted = false;
};

class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : text_(text) {}

    Token Next() {
        SkipSpacesAndComments();
        if (pos_ >= text_.size()) return {};
        const char c = text_[pos_];
        if (c == '{' || c == '}') {
            ++pos_;
            return {c == '{' ? TokenKind::Open : TokenKind::Close, {}, false};
        }
        if (c == '"') return Quoted();
        return Unquoted();
    }

private:
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void SkipSpacesAndComments() {
        while (pos_ < text_.size()) {
            if (IsSpace(text_[pos_])) {
                ++pos_;
            } else if (text_.substr(pos_, 2) == "//") {
                const size_t end = text_.find('\n', pos_);
                pos_ = end == std::string_view::npos ? text_.size() : end;
            } else {
                return;
            }
        }
    }

    // The escapes Steam writes: \\, \", \n, \t; any other backslash stands for itself.
    Token Quoted() {
        Token token{TokenKind::Text, {}, true};
        for (++pos_; pos_ < text_.size(); ++pos_) {
            const char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                return token;
            }
            if (c == '\\' && pos_ + 1 < text_.size()) {
                const char next = text_[pos_ + 1];
                const std::string_view escaped = "\\\"nt";
                const std::string_view meant = "\\\"\n\t";
                if (const size_t which = escaped.find(next); which != std::string_view::npos) {
                    token.text += meant[which];
                    ++pos_;
                    continue;
                }
            }
            token.text += c;
        }
        return {TokenKind::Damaged, {}, false};
    }

    Token Unquoted() {
        Token token{TokenKind::Text, {}, false};
        while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != '"' &&
               text_[pos_] != '{' && text_[pos_] != '}') {
            token.text += text_[pos_++];
        }
        return token;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// A condition such as [$WIN32] after a key or value: the pair applies on some systems only,
// and Steam keeps it on every one, so it is read over.
bool IsCondition(const Token& token) {
    return token.kind == TokenKind::Text && !token.quoted && token.text.starts_with("[$") &&
           token.text.ends_with("]");
}

class Parser {
public:
    explicit Parser(std::string_view text) : tokens_(text) { Advance(); }

    // Pairs up to the closing brace (inside a block) or the end of the text (at the top).
    std::optional<std::vector<KeyValuesNode>> Pairs(int depth) {
        std::vector<KeyValuesNode> nodes;
        while (true) {
            if (current_.kind == TokenKind::End)
                return depth == 0 ? std::optional(std::move(nodes)) : std::nullopt;
            if (current_.kind == TokenKind::Close) {
                if (depth == 0) return std::nullopt;
                Advance();
                return nodes;
            }
            if (current_.kind != TokenKind::Text) return std::nullopt;
            std::optional<KeyValuesNode> node = Pair(depth);
            if (!node) return std::nullopt;
            nodes.push_back(std::move(*node));
        }
    }

private:
    void Advance() { current_ = tokens_.Next(); }

    void SkipCondition() {
        if (IsCondition(current_)) Advance();
    }

    std::optional<KeyValuesNode> Pair(int depth) {
        KeyValuesNode node;
        node.key = std::move(current_.text);
        Advance();
        SkipCondition();
        if (current_.kind == TokenKind::Open) {
            if (depth + 1 > kDeepestBlock) return std::nullopt;
            Advance();
            std::optional<std::vector<KeyValuesNode>> children = Pairs(depth + 1);
            if (!children) return std::nullopt;
            node.children = std::move(*children);
            node.isBlock = true;
        } else if (current_.kind == TokenKind::Text) {
            node.value = std::move(current_.text);
            Advance();
        } else {
            return std::nullopt;
        }
        SkipCondition();
        return node;
    }

    Tokenizer tokens_;
    Token current_;
};

}  // namespace

std::optional<std::vector<KeyValuesNode>> ParseKeyValues(std::string_view text) {
    return Parser(text).Pairs(0);
}

const KeyValuesNode* FindKeyValue(const std::vector<KeyValuesNode>& nodes, std::string_view key) {
    for (const KeyValuesNode& node : nodes) {
        if (EqualNoCase(node.key, key)) return &node;
    }
    return nullptr;
}

}  // namespace kelmora
