#pragma once
// Internal: what node-reference attributes do to the nodes at both ends of
// their edges. The node operations involved are protected members of Node;
// this one class is Node's friend on behalf of all reference attributes.
//
// Every edge keeps the inhibit levels it applied to its node
// (InhibitLevels), and letting the edge go returns exactly those.

#include <tavel/attributes/Attribute.h>
#include <tavel/nodes/InhibitLevels.h>
#include <tavel/nodes/Node.h>

#include "tavel/nodes/NodeInternals.h"

#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

namespace Norv::Tavel::detail {

struct NodeLinks {
    // The token of the inhibit pass calling an attribute; 0 for a direct call.
    static std::uint32_t currentToken();
    // Raises element once for `token` on behalf of one edge, and records the
    // level in `levels` when the pass applied it.
    static void raise(Node& element, std::uint32_t token, InhibitLevels& levels);
    // The levels of an edge entering an attribute of `owner` that holds
    // `depth`: one raise per level, the owner counted as on the pass's path,
    // so that a raise coming round a cycle does not inhibit it again.
    static InhibitLevels enter(Node& element, Node* owner, InhibitLevels const& depth);
    // Takes away every level an edge applied, or one of `token`. A release
    // notification that throws is kept in `deferred`, so the caller's
    // bookkeeping completes.
    static void lower(Node& element, InhibitLevels const& levels, std::exception_ptr& deferred);
    static void lower(Node& element, std::uint32_t token, std::exception_ptr& deferred);
    // The owner link only: what destruction undoes. Never fails.
    static void unlink(Attribute const& attribute, Node* owner, Node& element) noexcept;

    // The change path of a reference attribute: its own change (incarnation
    // -1) draws a fresh number for both its incarnations; a change from below
    // passes only when newer than the sub-hierarchy incarnation, which also
    // ends it on cycles. Then the owner, if any, is told.
    static void postChange(Attribute& attribute, std::int64_t& subHierarchyIncarnation,
                           ChangeAction action, bool structureChanged,
                           boost::optional<Attribute const&> source, std::int64_t incarnation) {
        if (incarnation == -1) {
            std::int64_t const fresh = Node::incrementIncarnation();
            subHierarchyIncarnation = fresh;
            attribute.Attribute::postChange(action, structureChanged, source, fresh);
            return;
        }
        if (subHierarchyIncarnation >= incarnation) {
            return;
        }
        subHierarchyIncarnation = incarnation;
        if (attribute.m_owner != nullptr) {
            attribute.m_owner->postAttributeChange(action, attribute, source, structureChanged,
                                                   subHierarchyIncarnation);
        }
    }

    // One edit of a reference attribute, in two phases.
    //
    // First the steps that may refuse, for every element that enters or
    // leaves in the order of the edit: the owner's addElement hook and the
    // element's addOwner, or the owner's removeElement hook. Nobody else can
    // observe them, so when one throws, the edit is dropped and undoes them
    // directly, in reverse: links are taken back without asking, hooks are
    // told of the undo and what they throw is reported, never passed on.
    //
    // Then commit(), which cannot be refused: it unlinks the elements that
    // left. The attribute then raises the entering elements, stores its new
    // value and only after that lowers the elements it let go (from a
    // snapshot), so whatever their release notifications do starts from a
    // consistent attribute. The edit keeps the owner and a custom attribute
    // alive until it ends.
    //
    // The caller keeps every entering element alive for the whole edit; a
    // leaving element is the attribute's own, and only an edit of the same
    // attribute started from a hook can let it go: that edit first makes
    // this one hold every element it has stepped through, for the undo.
    //
    // An edit journals either single steps (enter, leave) or one run over an
    // array (beginRun, then enterNext or leaveNext for each element), so a
    // bulk edit writes nothing per element.
    class Edit {
    public:
        explicit Edit(Attribute& attribute);
        ~Edit();
        Edit(Edit const&) = delete;
        Edit& operator=(Edit const&) = delete;

        // The number of steps to come, so a bulk edit grows its journal once.
        void expect(std::size_t steps) { m_steps.reserve(steps); }
        void enter(Node& element, std::size_t index);
        void leave(Node& element, std::size_t index);

        // Element i of `elements` enters, or leaves, at position first + i.
        // The array stays where it is until the edit commits or a hook edits
        // the attribute (which pins what the run has taken).
        template <class R>
        void beginRun(std::vector<R> const& elements, std::size_t first, bool entering) {
            m_run = Run{elements.data(), &elementOf<R>, first, 0, entering, true};
        }
        void enterNext();
        void leaveNext();

        void commit() noexcept;
        // After commit, when a removeOwner hook edited the attribute
        // meanwhile and that edit stands: takes back the links of the
        // elements that entered, telling the hook as an undo does.
        void dropEntered() noexcept { undo(true); }

    private:
        struct Step {
            Node* element;
            std::size_t index;
            bool entered;
        };
        struct Run {
            void const* base = nullptr;
            Node* (*at)(void const* base, std::size_t index) = nullptr;
            std::size_t first = 0;
            std::size_t taken = 0;
            bool entered = false;
            bool active = false;
        };
        template <class R> static Node* elementOf(void const* base, std::size_t index) {
            return static_cast<R const*>(base)[index].get();
        }
        std::size_t taken() const { return m_run.active ? m_run.taken : m_steps.size(); }
        Step stepAt(std::size_t i) const {
            if (!m_run.active) {
                return m_steps[i];
            }
            Node* const element =
                i < m_pinned.size() ? m_pinned[i].get() : m_run.at(m_run.base, m_run.first + i);
            return Step{element, m_run.first + i, m_run.entered};
        }
        // The owner's addElement hook and the element's addOwner, taken back
        // when addOwner throws.
        void link(Node& element, std::size_t index);
        void undo(bool enteredOnly = false) noexcept;
        // Holds the elements of the steps taken so far; nothing once the
        // edit has committed, when it reads no step again.
        void pin();

        Attribute& m_attribute;
        Node* m_owner;
        // The owner and, for a custom attribute, the attribute itself.
        Attribute::Hold m_hold;
        std::vector<Step> m_steps;
        Run m_run;
        // The elements of the first steps, held once a hook edits the attribute.
        std::vector<NodeRef> m_pinned;
        // The edit open on this thread when this one began.
        Edit* m_outer = nullptr;
        bool m_committed = false;
        bool m_settled = false;
    };
};

} // namespace Norv::Tavel::detail
