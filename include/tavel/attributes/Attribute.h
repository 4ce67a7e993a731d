#pragma once
// Attribute: the abstract base of every attribute, one named, typed value
// slot of one Node. SingleAttribute and MultiAttribute split single values
// from lists.
//
// The name, id, display name and flags live in the attribute's entry of its
// node class's Specification; the attribute finds the entry through its owner
// on first use and caches a pointer to it. Queries that need the entry throw
// UnknownAttributeException when the attribute has no owner or its owner
// does not know it.
//
// Hosts derive from these classes: the virtual operations are declared in a
// fixed order (slots 0 to 22) that every class of the family keeps. Every
// effective change stamps the attribute with a fresh incarnation and reports
// to the owner (postChange); without an owner nothing is reported.

#include <tavel/Export.h>
#include <tavel/types/AttributeValue.h>

#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <typeinfo>

namespace Norv::Tavel {

class Node;
struct AttributeSpecification;
namespace detail {
struct NodeLinks;
}

// One named, typed value slot of a node; the base of every attribute class.
class TAVEL_EXPORT Attribute {
public:
    Attribute(Attribute const& other);

    // Assigns other's value (and range, where both have one) through assign();
    // owner, incarnation, control type and display-name override stay.
    Attribute& operator=(Attribute const& other);
    bool operator==(Attribute const& other) const;
    bool operator!=(Attribute const& other) const;

    // Slot 0: takes other's value; kinds whose generic values are not
    // accepted throw BadCastException and change nothing.
    virtual void assign(Attribute const& other) = 0;
    // Slot 1: assign, plus the display-name override and control type.
    // Attributes of another kind: BadCastException, nothing changed.
    virtual void copy(Attribute const& other);
    // Slot 2: value equality; false across kinds.
    virtual bool compare(Attribute const& other) const = 0;
    // Slot 3: a value of another kind, or an empty one: BadCastException.
    virtual void setGeneric(AttributeValue const& value) = 0;
    virtual AttributeValue getGeneric() const = 0;       // slot 4
    virtual AttributeType getAttributeType() const = 0;  // slot 5
    virtual QString const& getAttributeName() const;     // slot 6
    virtual QString const& getHumanReadableName() const; // slot 7
    // Slot 8: the class's display name clears the override again.
    virtual void setHumanReadableName(QString const& name);
    virtual bool needsSerialization() const;       // slot 9
    virtual bool needsCustomSerialization() const; // slot 10
    virtual bool isCustom() const;                 // slot 11
    virtual bool isRemovable() const;              // slot 12
    virtual bool isInstanceData() const;           // slot 13
    virtual bool hasMinMaxValues() const;          // slot 14
    // Slots 15, 16: NotSupported on attributes without a range.
    virtual AttributeValue getMinValueGeneric() const = 0;
    virtual AttributeValue getMaxValueGeneric() const = 0;
    virtual std::size_t getSize() const = 0;      // slot 17
    virtual std::size_t getDimension() const = 0; // slot 18
    virtual void incInhibitUpdateCounter();       // slot 19
    virtual void decInhibitUpdateCounter();       // slot 20

protected:
    virtual ~Attribute(); // slot 21

    // Slot 22. Called with incarnation -1 after every effective change (a
    // fresh incarnation is drawn), or by the node machinery with a given one,
    // which is ignored unless newer than the held one. Forwards to the owner.
    virtual void postChange(ChangeAction action, bool structureChanged,
                            boost::optional<Attribute const&> source,
                            std::int64_t const& incarnation);

public:
    std::int64_t getIncarnation() const { return m_incarnation; }
    GUIControlType getGuiControlType() const { return m_guiControlType; }
    // Metadata only: no notification, no incarnation change.
    void setGuiControlType(GUIControlType controlType) { m_guiControlType = controlType; }
    // The owning node. Precondition: hasOwner().
    Node& getOwner() const { return *m_owner; }
    bool hasOwner() const { return m_owner != nullptr; }
    std::int64_t getID() const;

    // Undo hooks; the library neither implements nor calls them.
    void recordUndo();
    void recordUndo(AttributeValue const& oldValue);

protected:
    Attribute(Node* owner, GUIControlType controlType);

    // Reports an effective change of this attribute's own value, exactly as
    // postChange(action, structureChanged, *this, -1) does. When the
    // attribute is an instance of `keeper` itself, a library class that keeps
    // Attribute::postChange, that body runs inline without a virtual call;
    // any other class (a host's subclass may override postChange) goes
    // through the slot. Defined in detail/OwnChange.h.
    inline void postOwnChange(ChangeAction action, bool structureChanged,
                              std::type_info const& keeper);

    // Keeps an attribute, and the node holding it, alive for the life of the
    // scope: an edit made of several notified steps goes on though a
    // subscriber told of one step removes the attribute or drops the node.
    // The steps after that change the attribute alone.
    class Hold {
    public:
        explicit Hold(Attribute& attribute);
        ~Hold() noexcept(false);
        Hold(Hold const&) = delete;
        Hold& operator=(Hold const&) = delete;

    private:
        Node* m_node = nullptr;
        boost::shared_ptr<Attribute> m_attribute;
    };

private:
    friend class Node;
    friend struct detail::NodeLinks;

    AttributeSpecification const* getAttributeSpecification() const;
    // The rest of postOwnChange: decides the path on the first change and
    // reports through the postChange slot unless it is direct.
    void postOwnChangeThroughSlot(ChangeAction action, bool structureChanged,
                                  std::type_info const& keeper);
    // Called by the owner when it lets go of a custom attribute that others
    // may still hold: the attribute then stands alone, with no owner and no
    // cached entry, so neither can dangle.
    void detachFromOwner();

    // How postOwnChange reports, decided on the first change: the dynamic
    // type is fixed by then. Never copied: a copy may be of another class.
    enum ReportPath : unsigned char { REPORT_UNDECIDED, REPORT_DIRECT, REPORT_VIRTUAL };

    Node* m_owner;
    std::int64_t m_incarnation;
    GUIControlType m_guiControlType;
    ReportPath m_reportPath;
    // The display-name override, made only when set: most attributes never
    // have one, and every attribute object pays for the member.
    std::unique_ptr<QString> m_humanReadableName;
    mutable AttributeSpecification const* m_specification;
};

// An attribute holding one value: size 1, dimension 0.
class TAVEL_EXPORT SingleAttribute : public Attribute {
public:
    SingleAttribute(SingleAttribute const& other) = default;
    SingleAttribute& operator=(SingleAttribute const& other) {
        Attribute::operator=(other);
        return *this;
    }

    std::size_t getSize() const override;
    std::size_t getDimension() const override;

protected:
    SingleAttribute(Node* owner, GUIControlType controlType) : Attribute(owner, controlType) {}
    ~SingleAttribute() override = default;
};

// An attribute holding a list: dimension 1, size = element count.
class TAVEL_EXPORT MultiAttribute : public Attribute {
public:
    MultiAttribute(MultiAttribute const& other) = default;
    MultiAttribute& operator=(MultiAttribute const& other) {
        Attribute::operator=(other);
        return *this;
    }

    std::size_t getDimension() const override;

protected:
    MultiAttribute(Node* owner, GUIControlType controlType) : Attribute(owner, controlType) {}
    ~MultiAttribute() override = default;
};

} // namespace Norv::Tavel
