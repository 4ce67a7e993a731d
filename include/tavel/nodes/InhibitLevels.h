#pragma once
// InhibitLevels: the inhibit levels a node, an attribute or one reference
// holds, each named by the scope it belongs to.
//
// Every InhibitUpdate draws a token, and its pass hands that token down the
// graph: a node, each of its attributes and each reference the pass goes
// through record it. Ending the scope takes away exactly the levels of its
// token, following only the references that hold one, and letting a
// reference go takes away exactly the levels it applied. So scopes may end in
// any order, and cycles made or broken inside them, and every depth still
// returns to 0. Levels raised without a scope (a direct call) carry token 0.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace Norv::Tavel::detail {

// Most holders (every custom attribute, every reference) are never inhibited: the list
// is made on the first level and then kept, so an empty holder costs one pointer.
class InhibitLevels {
public:
    InhibitLevels() noexcept = default;
    InhibitLevels(InhibitLevels const& other)
        : m_tokens(other.empty() ? nullptr : std::make_unique<Tokens>(*other.m_tokens)) {}
    InhibitLevels(InhibitLevels&& other) noexcept = default;
    InhibitLevels& operator=(InhibitLevels const& other) {
        InhibitLevels copy(other);
        m_tokens.swap(copy.m_tokens);
        return *this;
    }
    InhibitLevels& operator=(InhibitLevels&& other) noexcept = default;

    void add(std::uint32_t token) {
        if (!m_tokens) {
            m_tokens = std::make_unique<Tokens>();
        }
        m_tokens->push_back(token);
    }
    // Takes away one level of `token`; false when there is none.
    bool remove(std::uint32_t token) {
        if (!m_tokens) {
            return false;
        }
        auto const found = std::find(m_tokens->rbegin(), m_tokens->rend(), token);
        if (found == m_tokens->rend()) {
            return false;
        }
        m_tokens->erase(std::next(found).base());
        return true;
    }
    bool empty() const { return !m_tokens || m_tokens->empty(); }
    std::int32_t count() const {
        return m_tokens ? static_cast<std::int32_t>(m_tokens->size()) : 0;
    }
    std::vector<std::uint32_t> const& tokens() const {
        static Tokens const none;
        return m_tokens ? *m_tokens : none;
    }

    // A level `other` holds and this one lacks (counting repeats), if any.
    bool firstMissingFrom(InhibitLevels const& other, std::uint32_t& token) const {
        Tokens const& mine = tokens();
        Tokens const& theirs = other.tokens();
        for (std::uint32_t const candidate : theirs) {
            auto const wanted = std::count(theirs.begin(), theirs.end(), candidate);
            if (std::count(mine.begin(), mine.end(), candidate) < wanted) {
                token = candidate;
                return true;
            }
        }
        return false;
    }

private:
    using Tokens = std::vector<std::uint32_t>;
    std::unique_ptr<Tokens> m_tokens;
};

} // namespace Norv::Tavel::detail
