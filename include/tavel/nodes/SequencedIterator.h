#pragma once
// SequencedIterator and ConstSequencedIterator: walk the attributes of one node
// in the order of its class's Specification (fixed attributes in registration
// order, then custom ones in the order their names were first registered).
// Custom attributes of the class that this node does not carry are skipped.
//
// A filter of attribute flags (ATTR_SERIALIZE ... ATTR_CUSTOM) restricts the
// walk to entries having at least one of its bits; the empty filter admits
// every entry. The walk is circular through end(): ++ at end() goes to the
// first visitable attribute, -- at end() to the last. Dereferencing end()
// throws OutOfRangeException. Two iterators are equal when they stand at the
// same entry, whatever their filters.
//
// An iterator is invalidated when the entry it stands at is erased from the
// layout or its custom attribute is removed from the node.

#include <tavel/Export.h>
#include <tavel/nodes/Specification.h>

#include <cstddef>
#include <iterator>

namespace Norv::Tavel {

class Attribute;
class Node;

// The walk shared by both iterators; they differ only in what they hand out.
class TAVEL_EXPORT SequencedIteratorBase {
public:
    using Position = Specification::SequencedIterator;

    bool operator==(SequencedIteratorBase const& other) const {
        return m_position == other.m_position;
    }
    bool operator!=(SequencedIteratorBase const& other) const {
        return m_position != other.m_position;
    }

    AttributeFlags getFilter() const { return m_filter; }

protected:
    // At the first visitable entry, or at end.
    SequencedIteratorBase(Node const& node, AttributeFlags filter);
    // At position if it is visitable, else at the next visitable entry.
    SequencedIteratorBase(Node const& node, Position const& position, AttributeFlags filter);
    // At position, whose attribute the caller has in hand: no lookup.
    SequencedIteratorBase(Node const& node, Position const& position, Attribute const& current)
        : m_node(&node), m_position(position), m_filter(), m_current(&current) {}

    void increment();
    void decrement();
    // The current attribute; OutOfRangeException at end.
    Attribute const& current() const;
    // Decides the entry at the current position: true means it is skipped.
    bool visitNext();
    Position ownCustomFrom(long long key, bool inclusive) const;

    Node const* m_node;
    Position m_position;
    AttributeFlags m_filter;
    Attribute const* m_current;
};

// Walks a node's attributes in its class's order, handing out each one.
class TAVEL_EXPORT SequencedIterator : public SequencedIteratorBase {
public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = Attribute;
    using difference_type = std::ptrdiff_t;
    using pointer = Attribute*;
    using reference = Attribute&;

    SequencedIterator(Node& node, AttributeFlags filter) : SequencedIteratorBase(node, filter) {}
    SequencedIterator(Node& node, Position const& position, AttributeFlags filter)
        : SequencedIteratorBase(node, position, filter) {}

    SequencedIterator& operator++() {
        increment();
        return *this;
    }
    SequencedIterator operator++(int) {
        SequencedIterator const old(*this);
        increment();
        return old;
    }
    SequencedIterator& operator--() {
        decrement();
        return *this;
    }
    SequencedIterator operator--(int) {
        SequencedIterator const old(*this);
        decrement();
        return old;
    }

    // Made from a non-const node, so the attribute may be changed.
    Attribute& operator*() const { return const_cast<Attribute&>(current()); }
    Attribute* operator->() const { return &**this; }
};

// The same walk over a node that may not be changed through it.
class TAVEL_EXPORT ConstSequencedIterator : public SequencedIteratorBase {
public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = Attribute;
    using difference_type = std::ptrdiff_t;
    using pointer = Attribute const*;
    using reference = Attribute const&;

    ConstSequencedIterator(Node const& node, AttributeFlags filter)
        : SequencedIteratorBase(node, filter) {}
    ConstSequencedIterator(Node const& node, Position const& position, AttributeFlags filter)
        : SequencedIteratorBase(node, position, filter) {}
    ConstSequencedIterator(SequencedIterator const& other) : SequencedIteratorBase(other) {}

    ConstSequencedIterator& operator++() {
        increment();
        return *this;
    }
    ConstSequencedIterator operator++(int) {
        ConstSequencedIterator const old(*this);
        increment();
        return old;
    }
    ConstSequencedIterator& operator--() {
        decrement();
        return *this;
    }
    ConstSequencedIterator operator--(int) {
        ConstSequencedIterator const old(*this);
        decrement();
        return old;
    }

    Attribute const& operator*() const { return current(); }
    Attribute const* operator->() const { return &current(); }

private:
    friend class Node;
    ConstSequencedIterator(Node const& node, Position const& position, Attribute const& current)
        : SequencedIteratorBase(node, position, current) {}
};

} // namespace Norv::Tavel
