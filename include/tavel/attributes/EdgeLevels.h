#pragma once
// EdgeLevels: the inhibit levels one reference (one position of a
// node-reference attribute) applied to the node it refers to.
//
// Each level of the attribute's inhibit depth is one slot of a stack: the
// slot records whether raising the node for that level applied it, or the
// inhibit pass skipped the node because it was already on the pass's path (a
// cycle). Lowering the attribute pops the top slot and lowers the node only
// when that slot applied a level, and letting the reference go returns
// exactly the applied slots. So a cycle made or broken inside an open
// InhibitUpdate still brings every depth back to 0 when the scopes end.
//
// Slots past the 64th are taken as applied (only a cycle under more than 64
// nested scopes could tell the difference).

#include <bitset>
#include <cstdint>

namespace Norv::Tavel::detail {

struct EdgeLevels {
    std::int32_t height = 0;
    std::uint64_t skipped = 0; // bit k: slot k applied nothing

    void push(bool applied) {
        if (!applied && height < 64) {
            skipped |= std::uint64_t(1) << height;
        }
        ++height;
    }
    // Whether the popped slot had applied a level; false when there is none.
    bool pop() {
        if (height == 0) {
            return false;
        }
        --height;
        if (height >= 64) {
            return true;
        }
        std::uint64_t const bit = std::uint64_t(1) << height;
        bool const applied = (skipped & bit) == 0;
        skipped &= ~bit;
        return applied;
    }
    std::int32_t applied() const {
        return height - static_cast<std::int32_t>(std::bitset<64>(skipped).count());
    }
};

} // namespace Norv::Tavel::detail
