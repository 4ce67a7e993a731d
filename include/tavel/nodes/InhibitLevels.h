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
#include <vector>

namespace Norv::Tavel::detail {

class InhibitLevels {
public:
    void add(std::uint32_t token) { m_tokens.push_back(token); }
    // Takes away one level of `token`; false when there is none.
    bool remove(std::uint32_t token) {
        auto const found = std::find(m_tokens.rbegin(), m_tokens.rend(), token);
        if (found == m_tokens.rend()) {
            return false;
        }
        m_tokens.erase(std::next(found).base());
        return true;
    }
    bool empty() const { return m_tokens.empty(); }
    std::int32_t count() const { return static_cast<std::int32_t>(m_tokens.size()); }
    std::vector<std::uint32_t> const& tokens() const { return m_tokens; }

    // A level `other` holds and this one lacks (counting repeats), if any.
    bool firstMissingFrom(InhibitLevels const& other, std::uint32_t& token) const {
        for (std::uint32_t const candidate : other.m_tokens) {
            auto const wanted = std::count(other.m_tokens.begin(), other.m_tokens.end(), candidate);
            if (std::count(m_tokens.begin(), m_tokens.end(), candidate) < wanted) {
                token = candidate;
                return true;
            }
        }
        return false;
    }

private:
    std::vector<std::uint32_t> m_tokens;
};

} // namespace Norv::Tavel::detail
