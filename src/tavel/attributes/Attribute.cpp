#include <tavel/attributes/Attribute.h>
#include <tavel/attributes/detail/OwnChange.h>

#include <tavel/nodes/Node.h>
#include <tavel/nodes/Specification.h>
#include <tavel/types/Exceptions.h>

#include "tavel/nodes/NodeInternals.h"

#include <cstdint>
#include <memory>

namespace Norv::Tavel {

Attribute::Attribute(Node* owner, GUIControlType controlType)
    : m_owner(owner), m_incarnation(1), m_guiControlType(controlType),
      m_reportPath(REPORT_UNDECIDED), m_specification(nullptr) {}

Attribute::Attribute(Attribute const& other)
    : m_owner(other.m_owner), m_incarnation(other.m_incarnation),
      m_guiControlType(other.m_guiControlType), m_reportPath(REPORT_UNDECIDED),
      m_humanReadableName(other.m_humanReadableName
                              ? std::make_unique<QString>(*other.m_humanReadableName)
                              : nullptr),
      m_specification(other.m_specification) {}

Attribute::~Attribute() = default;

Attribute& Attribute::operator=(Attribute const& other) {
    if (&other != this) {
        assign(other);
    }
    return *this;
}

bool Attribute::operator==(Attribute const& other) const {
    return &other == this || compare(other);
}

bool Attribute::operator!=(Attribute const& other) const {
    return &other != this && !compare(other);
}

void Attribute::copy(Attribute const& other) {
    if (other.getAttributeType() != getAttributeType()) {
        throw BadCastException("");
    }
    // Read before the assignment notifies: a subscriber may remove either attribute.
    QString const name = other.getHumanReadableName();
    GUIControlType const controlType = other.m_guiControlType;
    Hold const hold(*this);
    assign(other);
    if (m_owner != nullptr) {
        setHumanReadableName(name);
    } else {
        // Standing alone (or removed meanwhile), it has no class name to defer to.
        m_humanReadableName = name.isEmpty() ? nullptr : std::make_unique<QString>(name);
    }
    m_guiControlType = controlType;
}

Attribute::Hold::Hold(Attribute& attribute) {
    Node* const owner = attribute.m_owner;
    if (owner == nullptr) {
        return;
    }
    if (detail::isHeldByRef(*owner)) {
        owner->refCounter()->hold();
        m_node = owner;
    }
    // A custom attribute is held by its node's table, not by the node itself.
    AttributeSpecification const* const entry = attribute.m_specification;
    if (entry != nullptr && entry->isCustom()) {
        m_attribute = owner->getCustomAttributePointer(entry->offset);
    }
}

Attribute::Hold::~Hold() noexcept(false) {
    m_attribute.reset();
    if (m_node != nullptr && m_node->refCounter()->release() == 0) {
        // The last reference went meanwhile: a Ref ends the node properly.
        m_node->refCounter()->hold();
        detail::releaseLast(*m_node);
    }
}

AttributeSpecification const* Attribute::getAttributeSpecification() const {
    if (m_specification == nullptr) {
        if (m_owner == nullptr) {
            throw UnknownAttributeException("");
        }
        // A member attribute is found by its offset in the owner, one ordered
        // lookup; custom keys are negative and never match a member's offset.
        auto const offset = static_cast<long long>(reinterpret_cast<std::uintptr_t>(this) -
                                                   reinterpret_cast<std::uintptr_t>(m_owner));
        AttributeSpecification const* const fixed =
            m_owner->getSpecification().findByOffset(offset);
        m_specification = fixed != nullptr && fixed->isFixed()
                              ? fixed
                              : &m_owner->findAttributeSpecification(*this);
    }
    return m_specification;
}

void Attribute::detachFromOwner() {
    m_owner = nullptr;
    m_specification = nullptr;
}

QString const& Attribute::getAttributeName() const {
    return getAttributeSpecification()->name;
}

QString const& Attribute::getHumanReadableName() const {
    if (m_humanReadableName) {
        return *m_humanReadableName;
    }
    return getAttributeSpecification()->humanReadableName;
}

void Attribute::setHumanReadableName(QString const& name) {
    QString const& classDefault = getAttributeSpecification()->humanReadableName;
    // An empty override is no override: the class's display name shows.
    if (name == classDefault || name.isEmpty()) {
        m_humanReadableName.reset();
    } else if (m_humanReadableName) {
        *m_humanReadableName = name;
    } else {
        m_humanReadableName = std::make_unique<QString>(name);
    }
}

bool Attribute::needsSerialization() const {
    return getAttributeSpecification()->flags.test(0);
}

bool Attribute::needsCustomSerialization() const {
    AttributeFlags const& flags = getAttributeSpecification()->flags;
    return flags.test(0) && flags.test(1);
}

bool Attribute::isCustom() const {
    return getAttributeSpecification()->isCustom();
}

bool Attribute::isRemovable() const {
    return getAttributeSpecification()->isCustom();
}

bool Attribute::isInstanceData() const {
    return getAttributeSpecification()->flags.test(2);
}

bool Attribute::hasMinMaxValues() const {
    return false;
}

void Attribute::incInhibitUpdateCounter() {}

void Attribute::decInhibitUpdateCounter() {}

std::int64_t Attribute::getID() const {
    return getAttributeSpecification()->attributeId;
}

void Attribute::recordUndo() {}

void Attribute::recordUndo(AttributeValue const&) {}

void Attribute::postChange(ChangeAction action, bool structureChanged,
                           boost::optional<Attribute const&> source,
                           std::int64_t const& incarnation) {
    if (incarnation != -1) {
        if (incarnation <= m_incarnation) {
            return;
        }
        m_incarnation = incarnation;
    } else {
        m_incarnation = Node::incrementIncarnation();
    }
    if (m_owner != nullptr) {
        m_owner->postAttributeChange(action, *this, source, structureChanged, m_incarnation);
    }
}

void Attribute::postOwnChangeThroughSlot(ChangeAction action, bool structureChanged,
                                         std::type_info const& keeper) {
    if (m_reportPath == REPORT_UNDECIDED) {
        m_reportPath = typeid(*this) == keeper ? REPORT_DIRECT : REPORT_VIRTUAL;
        if (m_reportPath == REPORT_DIRECT) {
            postOwnChange(action, structureChanged, keeper);
            return;
        }
    }
    postChange(action, structureChanged, *this, -1);
}

std::size_t SingleAttribute::getSize() const {
    return 1;
}
std::size_t SingleAttribute::getDimension() const {
    return 0;
}
std::size_t MultiAttribute::getDimension() const {
    return 1;
}

} // namespace Norv::Tavel
