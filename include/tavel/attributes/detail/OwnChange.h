#pragma once
// Internal: the report of an attribute's own change, inline for the library's
// attribute classes (it needs the complete Node, which Attribute.h cannot
// include).

#include <tavel/attributes/Attribute.h>
#include <tavel/nodes/Node.h>

namespace Norv::Tavel {

inline void Attribute::postOwnChange(ChangeAction action, bool structureChanged,
                                     std::type_info const& keeper) {
    if (m_reportPath == REPORT_DIRECT) {
        // Attribute::postChange with incarnation -1.
        m_incarnation = Node::incrementIncarnation();
        if (m_owner != nullptr) {
            m_owner->postAttributeChange(action, *this, *this, structureChanged, m_incarnation);
        }
        return;
    }
    postOwnChangeThroughSlot(action, structureChanged, keeper);
}

} // namespace Norv::Tavel
