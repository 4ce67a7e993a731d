#pragma once
// Internal: what node-reference attributes do to the nodes at both ends of
// their edges. The node operations involved are protected members of Node;
// this one class is Node's friend on behalf of all reference attributes.

#include <tavel/Export.h>
#include <tavel/types/AttributeType.h>

#include <boost/optional.hpp>

#include <cstddef>
#include <cstdint>
#include <exception>

namespace Norv::Tavel {

class Attribute;
class Node;

namespace detail {

struct TAVEL_EXPORT NodeLinks {
    // owner.addElement(element, index, attribute), then
    // element.addOwner(owner, attribute), then raises element's inhibit
    // depth `depth` times. Undoes what it did if a step throws.
    static void enter(Attribute const& attribute, Node* owner, Node& element, std::size_t index,
                      std::int32_t depth);
    // owner.removeElement, then element.removeOwner, then lowers element's
    // inhibit depth `depth` times (single references lower before they
    // remove the owner link). An exception from a release notification is
    // kept in `deferred` so the bookkeeping completes.
    static void leave(Attribute const& attribute, Node* owner, Node& element, std::size_t index,
                      std::int32_t depth, bool lowerBeforeUnlink, std::exception_ptr& deferred);
    // The owner link only: what destruction undoes.
    static void unlink(Attribute const& attribute, Node* owner, Node& element);

    static void raise(Node& element);
    // Lowers once; a release notification that throws is kept in `deferred`.
    static void lower(Node& element, std::exception_ptr& deferred);

    // The change path of a reference attribute: its own change (incarnation
    // -1) draws a fresh number for both its incarnations; a change from below
    // passes only when newer than the sub-hierarchy incarnation, which also
    // ends it on cycles. Then the owner, if any, is told.
    static void postChange(Attribute& attribute, std::int64_t& subHierarchyIncarnation,
                           ChangeAction action, bool structureChanged,
                           boost::optional<Attribute const&> source, std::int64_t incarnation);
};

} // namespace detail
} // namespace Norv::Tavel
