#include <tavel/operations/AssignOperator.h>

#include "tavel/operations/OperationSupport.h"

#include <tavel/attributes/DataSAEnum.h>
#include <tavel/operations/CopyTraverser.h>
#include <tavel/types/Exceptions.h>

#include <boost/optional.hpp>

#include <memory>
#include <unordered_set>
#include <utility>

namespace Norv::Tavel {

using norv::basalt::Ref;
using detail::attributeNamed;
using detail::NodeListAttribute;
using detail::SingleNodeAttribute;
using detail::typed;

namespace {

constexpr int COPY_FLAGS = 0x0F;

// A source attribute as the walk found it. A fixed one lives as long as its
// node; a custom one is found again by its key, since a subscriber may have
// removed it meanwhile.
struct SourceSlot {
    Attribute* fixed;
    long long key;
};

using Pair = std::pair<NodeRef, NodeRef>; // (target, source)

} // namespace

// One assignment, nested pairs included. The pairs form a stack of frames
// instead of a recursion, so chains of any depth are assigned. Every call out
// (a set, a registration, a copy, a hook) may edit or drop what the walk
// holds: nodes stay referenced by their frame, and attributes are looked up
// again after each call.
class AssignOperator::Run {
public:
    Run(int flags, QSet<QString> const& ignore) : m_flags(flags), m_ignore(ignore) {}

    void run(NodeRef const& target, NodeRef const& source) {
        enter({target, source});
        while (!m_frames.empty()) {
            if (boost::optional<Pair> const nested = step(m_frames.back())) {
                enter(*nested);
            }
        }
    }

private:
    // A list of references being rebuilt; entries assigned in place wait for
    // their nested pair before the list is set in one go.
    struct PendingList {
        QString name;
        std::vector<NodeRef> from;
        std::vector<NodeRef> into;
        std::vector<NodeRef> built;
        std::size_t next = 0;
    };

    struct Frame {
        NodeRef target;
        NodeRef source;
        bool started = false;
        std::vector<SourceSlot> attributes;
        std::size_t next = 0;
        std::unique_ptr<PendingList> list;
    };

    bool has(int bit) const { return (m_flags & bit) != 0; }

    void enter(Pair const& pair) {
        m_frames.push_back(Frame{pair.first, pair.second, false, {}, 0, nullptr});
        m_assigned.insert(pair.first);
    }

    // Each target node is assigned once per operation, from the first source
    // met: walked by path, cycles and dense graphs would not end. Copies made
    // on the way sit only below nodes already assigned, so none is entered.
    bool assigned(NodeRef const& target) const { return m_assigned.count(target) != 0; }

    boost::optional<Pair> step(Frame& frame) {
        if (!frame.started) {
            start(frame);
            return boost::none;
        }
        if (frame.list) {
            return continueList(frame);
        }
        if (frame.next < frame.attributes.size()) {
            SourceSlot const slot = frame.attributes[frame.next++];
            return assignAttribute(frame, slot);
        }
        NodeRef const target = std::move(frame.target);
        NodeRef const source = std::move(frame.source);
        m_frames.pop_back();
        target->postAssignAction(source, m_flags);
        return boost::none;
    }

    void start(Frame& frame) {
        frame.started = true;
        if (frame.target->getClsId() != frame.source->getClsId()) {
            throw ClassIdsDoNotMatchException("");
        }
        // Removing the target's custom attributes would take the source's too.
        if (frame.target == frame.source) {
            return;
        }
        if (has(ASSIGN_REMOVE_CUSTOM_ATTRIBUTES)) {
            frame.target->removeAllAttributes();
        }
        for (auto it = frame.source->begin(); it != frame.source->end(); ++it) {
            Attribute& attribute = *it;
            if (attribute.isCustom()) {
                frame.attributes.push_back({nullptr, attribute.getID()});
            } else {
                frame.attributes.push_back({&attribute, 0});
            }
        }
    }

    static Attribute* sourceAttribute(Frame const& frame, SourceSlot const& slot) {
        if (slot.fixed != nullptr) {
            return slot.fixed;
        }
        return frame.source->getAttributeByID(slot.key).get_ptr();
    }

    boost::optional<Pair> assignAttribute(Frame& frame, SourceSlot const& slot) {
        Attribute* from = sourceAttribute(frame, slot);
        if (from == nullptr) {
            return boost::none;
        }
        QString const name = from->getAttributeName();
        if (has(ASSIGN_IGNORE_ATTRIBUTE_NAMES) && m_ignore.contains(name)) {
            return boost::none;
        }
        if (from->isInstanceData() && !has(ASSIGN_INSTANCE_DATA)) {
            return boost::none;
        }
        AttributeType const type = from->getAttributeType();
        Attribute* into = attributeNamed(*frame.target, name, type);
        if (into == nullptr) {
            if (!from->isRemovable() || !has(ASSIGN_CUSTOM_ATTRIBUTES)) {
                return boost::none;
            }
            frame.target->registerAttribute(name, type, from->hasMinMaxValues());
            // The target's subscribers heard of it and may have changed either side.
            from = sourceAttribute(frame, slot);
            into = attributeNamed(*frame.target, name, type);
            if (from == nullptr || into == nullptr) {
                return boost::none;
            }
        }
        if (has(ASSIGN_HUMAN_READABLE_NAMES)) {
            into->setHumanReadableName(from->getHumanReadableName());
        }
        if (has(ASSIGN_GUI_CONTROL_TYPES)) {
            into->setGuiControlType(from->getGuiControlType());
        }
        switch (type) {
        case AT_S_NODE_PTR:
            return assignReference(frame, name, *from, *into);
        case AT_M_NODE_PTR:
            beginList(frame, name, *from, *into);
            return boost::none;
        case AT_S_ENUM:
            assignEnum(frame, slot, name, *from, *into);
            return boost::none;
        default:
            if (from->hasMinMaxValues() && !has(ASSIGN_RANGES_AND_ENUM_NAMES)) {
                into->setGeneric(from->getGeneric()); // the target keeps its own range
            } else {
                detail::assignFrom(*frame.target, *from, *into);
            }
            return boost::none;
        }
    }

    NodeRef copyOf(Frame const& frame, NodeRef const& node) const {
        return CopyTraverser::apply(node, frame.target->getRegistry(), m_flags & COPY_FLAGS);
    }

    boost::optional<Pair> assignReference(Frame& frame, QString const& name,
                                          Attribute const& from, Attribute& into) {
        NodeRef const source = typed<SingleNodeAttribute const>(from).get();
        SingleNodeAttribute& reference = typed<SingleNodeAttribute>(into);
        NodeRef const target = reference.get();
        if (!source) {
            reference.set(NodeRef());
            return boost::none;
        }
        if (target && has(ASSIGN_INTO_REFERENCES)) {
            if (assigned(target)) {
                return boost::none;
            }
            return Pair(target, source);
        }
        if (has(ASSIGN_COPY_REFERENCES) || (!target && has(ASSIGN_INTO_REFERENCES))) {
            NodeRef const copy = copyOf(frame, source);
            // The copy ran host hooks: the attribute is looked up again.
            if (Attribute* const again = attributeNamed(*frame.target, name, AT_S_NODE_PTR)) {
                typed<SingleNodeAttribute>(*again).set(copy);
            }
            return boost::none;
        }
        reference.set(source);
        return boost::none;
    }

    void beginList(Frame& frame, QString const& name, Attribute const& from, Attribute& into) {
        std::vector<NodeRef> source = typed<NodeListAttribute const>(from).get();
        NodeListAttribute& list = typed<NodeListAttribute>(into);
        if (source.empty() || !has(ASSIGN_COPY_REFERENCES | ASSIGN_INTO_REFERENCES)) {
            list.set(source);
            return;
        }
        frame.list.reset(new PendingList{name, std::move(source), list.get(), {}, 0});
        frame.list->built.reserve(frame.list->from.size());
    }

    boost::optional<Pair> continueList(Frame& frame) {
        PendingList& list = *frame.list;
        while (list.next < list.from.size()) {
            std::size_t const at = list.next++;
            if (has(ASSIGN_INTO_REFERENCES) && at < list.into.size()) {
                list.built.push_back(list.into[at]);
                if (!assigned(list.into[at])) {
                    return Pair(list.into[at], list.from[at]);
                }
                continue;
            }
            list.built.push_back(copyOf(frame, list.from[at]));
        }
        std::unique_ptr<PendingList> const done = std::move(frame.list);
        if (Attribute* const into = attributeNamed(*frame.target, done->name, AT_M_NODE_PTR)) {
            typed<NodeListAttribute>(*into).set(done->built);
        }
        return boost::none;
    }

    void assignEnum(Frame& frame, SourceSlot const& slot, QString const& name,
                    Attribute const& from, Attribute& into) {
        SAEnum const* source = &typed<SAEnum const>(from);
        SAEnum* target = &typed<SAEnum>(into);
        if (has(ASSIGN_RANGES_AND_ENUM_NAMES)) {
            target->setStringValues(source->getStringValues());
            // Subscribers heard of the names: both sides are looked up again.
            Attribute* const againFrom = sourceAttribute(frame, slot);
            Attribute* const againInto = attributeNamed(*frame.target, name, AT_S_ENUM);
            if (againFrom == nullptr || againInto == nullptr) {
                return;
            }
            source = &typed<SAEnum const>(*againFrom);
            target = &typed<SAEnum>(*againInto);
        }
        target->setAsString(source->getAsString());
    }

    int const m_flags;
    QSet<QString> const& m_ignore;
    std::vector<Frame> m_frames;
    // Held, so no address is taken by a new node meanwhile.
    std::unordered_set<NodeRef> m_assigned;
};

AssignOperator::AssignOperator(Ref<Node> target, Ref<Node> const& source, int flags)
    : m_target(std::move(target)), m_source(source), m_flags(flags) {}

AssignOperator::~AssignOperator() = default;

void AssignOperator::setIgnoreAttributeNames(QStringList const& names) {
    m_ignoreAttributeNames.clear();
    for (QString const& name : names) {
        m_ignoreAttributeNames.insert(name);
    }
    if (m_ignoreAttributeNames.isEmpty()) {
        m_flags &= ~ASSIGN_IGNORE_ATTRIBUTE_NAMES;
    } else {
        m_flags |= ASSIGN_IGNORE_ATTRIBUTE_NAMES;
    }
}

void AssignOperator::setIgnoreAttributeNames(std::vector<std::string> const& names) {
    QStringList list;
    for (std::string const& name : names) {
        list.append(QString::fromUtf8(name.data(), int(name.size())));
    }
    setIgnoreAttributeNames(list);
}

void AssignOperator::apply() {
    if (!m_target || !m_source) {
        throw InvalidOperationException("");
    }
    // Checked here as well as for every nested pair, so a top-level mismatch
    // changes nothing.
    if (m_target->getClsId() != m_source->getClsId()) {
        throw ClassIdsDoNotMatchException("");
    }
    // Hooks may call apply() on this operator again: the walk keeps its own
    // copies of the roots and the names.
    NodeRef const target = m_target;
    NodeRef const source = m_source;
    QSet<QString> const ignore = m_ignoreAttributeNames;
    Run(m_flags, ignore).run(target, source);
}

void AssignOperator::apply(Ref<Node> target, Ref<Node> const& source, int flags) {
    AssignOperator(std::move(target), source, flags).apply();
}

} // namespace Norv::Tavel
