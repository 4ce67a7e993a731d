#pragma once
// Specification: the attribute layout of one node class, shared by all nodes
// of the class (a static object of the class). It holds one
// AttributeSpecification entry per attribute, in registration order, and the
// class identifiers of the class and its bases (most derived first).
//
// Fixed entries describe member attributes and are never removed. Custom
// entries are shared by every node of the class that carries an attribute of
// that name and count them; the last user's release erases the entry.
// Entries keep their address while they exist: attributes cache a pointer to
// their entry.

#include <tavel/Export.h>
#include <tavel/types/AttributeType.h>

#include <basalt/Uuid.h>

#include <boost/multi_index/hashed_index.hpp>
#include <boost/multi_index/member.hpp>
#include <boost/multi_index/ordered_index.hpp>
#include <boost/multi_index/sequenced_index.hpp>
#include <boost/multi_index_container.hpp>

#include <QHash>
#include <QString>

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <utility>

namespace Norv::Tavel {

// The five attribute flags, as values of the std::bitset<5> of an entry.
enum AttributeFlag : unsigned {
    ATTR_SERIALIZE = 1,        // bit 0: the attribute is serialized
    ATTR_CUSTOM_SERIALIZE = 2, // bit 1: serialized by a custom method
    ATTR_INSTANCE_DATA = 4,    // bit 2: per-instance data
    ATTR_FIXED = 8,            // bit 3: a member of the node class
    ATTR_CUSTOM = 16,          // bit 4: added to single nodes at run time
};

using AttributeFlags = std::bitset<5>;

// One attribute of a node class: name, display name, kind, flags and where a
// node keeps it (member offset for fixed attributes, map key for custom ones).
struct TAVEL_EXPORT AttributeSpecification {
    QString name;
    QString humanReadableName;
    // Not a key of any index: counted in place, without re-indexing the entry.
    mutable std::int32_t useCounter = 0;
    AttributeType type = AT_INVALID_TYPE;
    AttributeFlags flags;
    std::int64_t offset = 0;
    std::int64_t attributeId = 0;

    // An empty display name means the attribute name is shown.
    AttributeSpecification(QString const& name, QString const& humanReadableName);
    AttributeSpecification(AttributeSpecification const& other);

    long long getAttributeId() const { return attributeId; }
    void setAttributeId(long long id) { attributeId = id; }
    long long getOffset() const { return offset; }
    void setOffset(long long newOffset) { offset = newOffset; }

    bool isFixed() const { return flags.test(3); }
    bool isCustom() const { return flags.test(4); }

private:
    // Entries are changed in place through the container's modify only.
    AttributeSpecification& operator=(AttributeSpecification const&);
};

// Function objects for the container's modify.
struct TAVEL_EXPORT IncUseCounter {
    void operator()(AttributeSpecification& entry) const { ++entry.useCounter; }
};
struct TAVEL_EXPORT DecUseCounter {
    void operator()(AttributeSpecification& entry) const { --entry.useCounter; }
};
struct TAVEL_EXPORT SetOffsetAndType {
    SetOffsetAndType(long long offset, AttributeType type) : m_offset(offset), m_type(type) {}
    void operator()(AttributeSpecification& entry) const {
        entry.offset = m_offset;
        entry.type = m_type;
    }

private:
    long long m_offset;
    AttributeType m_type;
};

// Qt's own hash of a name, for the container's hashed index.
struct TAVEL_EXPORT AttributeNameHash {
    std::size_t operator()(QString const& name) const noexcept {
        return static_cast<std::size_t>(qHash(name));
    }
};

// The layout of one node class: its attribute entries, in registration order
// and indexed by name and offset, and the classes it derives from.
struct TAVEL_EXPORT Specification {
    // Index 0: registration order (the iteration order of every node of the
    // class). Index 1: unique by name, case-sensitive UTF-16 order. Index 2:
    // by offset, so releasing a custom entry does not walk the whole list.
    // Index 3: hashed by name, so a lookup by name costs one hash of it.
    using Container = boost::multi_index_container<
        AttributeSpecification,
        boost::multi_index::indexed_by<
            boost::multi_index::sequenced<>,
            boost::multi_index::ordered_unique<boost::multi_index::member<
                AttributeSpecification, QString, &AttributeSpecification::name>>,
            boost::multi_index::ordered_non_unique<boost::multi_index::member<
                AttributeSpecification, std::int64_t, &AttributeSpecification::offset>>,
            boost::multi_index::hashed_unique<
                boost::multi_index::member<AttributeSpecification, QString,
                                           &AttributeSpecification::name>,
                AttributeNameHash>>>;
    using SequencedIterator = Container::nth_index<0>::type::const_iterator;
    using OrderedIterator = Container::nth_index<1>::type::const_iterator;

    Container attributes;
    std::list<norv::basalt::Uuid> inheritFrom;
    bool needsRegistration = true;
    QString className;
    // How many custom attributes the node of the class that last gained one carried:
    // nodes of a class tend to carry alike, so a node's first one makes room for as many.
    std::size_t lastCustomCount = 0;

    // Each class passes the name of its own type (typeid(Class).name()).
    explicit Specification(char const* className);
    Specification(Specification const& other);
    ~Specification();

    void addInheritFrom(norv::basalt::Uuid const& classId);

    bool hasAttribute(QString const& name) const;
    OrderedIterator findAttributeSpecification(QString const& name) const;
    OrderedIterator findAttributeSpecification(std::string const& name) const;
    OrderedIterator findAttributeSpecification(char const* name) const;
    OrderedIterator orderedEnd() const;

    // The first entry (registration order) with this offset or id; null if none.
    AttributeSpecification const* findByOffset(long long offset) const;
    AttributeSpecification const* findById(long long id) const;

    // Releases one use of the custom entry at `offset`; erases it at zero.
    // Unknown offsets are ignored; a fixed entry throws
    // AttributeCannotBeRemovedException and stays as it is.
    void removeAttribute(long long offset);

    // Builds an entry as AttributeSpecification(name, humanReadableName) does
    // (type unset) without entering it; the caller owns the returned entry.
    std::pair<AttributeSpecification*, bool> insert(QString const& name,
                                                    QString const& humanReadableName);

private:
    friend class Node;
    void destroyCustomAttribute(long long offset);
    // The same for an entry of this layout already in hand.
    void releaseCustomEntry(AttributeSpecification const& entry);
};

} // namespace Norv::Tavel
