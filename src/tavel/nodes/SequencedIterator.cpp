#include <tavel/nodes/SequencedIterator.h>

#include <tavel/nodes/Node.h>
#include <tavel/types/Exceptions.h>

namespace Norv::Tavel {

SequencedIteratorBase::SequencedIteratorBase(Node const& node, AttributeFlags filter)
    : SequencedIteratorBase(node, node.m_specification->attributes.begin(), filter) {}

SequencedIteratorBase::SequencedIteratorBase(Node const& node, Position const& position,
                                             AttributeFlags filter)
    : m_node(&node), m_position(position), m_filter(filter), m_current(nullptr) {
    if (m_position != m_node->m_specification->attributes.end() && visitNext()) {
        increment();
    }
}

bool SequencedIteratorBase::visitNext() {
    AttributeSpecification const& entry = *m_position;
    if (m_filter.any() && (entry.flags & m_filter).none()) {
        return true;
    }
    if (!entry.isCustom()) {
        m_current = &m_node->fixedAttribute(entry);
        return false;
    }
    m_current = m_node->customAttribute(entry.offset);
    return m_current == nullptr;
}

// The node's first custom attribute at or after `key` (after it, unless
// `inclusive`), as a position in the sequence. The keys of custom entries grow
// in the order the entries were made, so key order is sequence order, and a
// node is walked in the number of attributes it carries, not the number of
// names its class has seen.
SequencedIteratorBase::Position SequencedIteratorBase::ownCustomFrom(long long key,
                                                                     bool inclusive) const {
    auto const& attributes = m_node->m_customAttributes;
    auto const& sequence = m_node->m_specification->attributes;
    auto next = inclusive ? attributes.lower_bound(key) : attributes.upper_bound(key);
    while (next != attributes.end() && next->second.attribute == nullptr) {
        ++next;
    }
    if (next == attributes.end()) {
        return sequence.end();
    }
    auto const& byOffset = sequence.get<2>();
    auto const entry = byOffset.find(next->first);
    return entry == byOffset.end() ? sequence.end() : sequence.project<0>(entry);
}

void SequencedIteratorBase::increment() {
    auto const& sequence = m_node->m_specification->attributes;
    do {
        // Circular through end: stepping on from end starts again at the front.
        if (m_position == sequence.end()) {
            m_position = sequence.begin();
            if (m_position != sequence.end() && m_position->isCustom()) {
                m_position = ownCustomFrom(m_position->offset, true);
            }
        } else if (m_position->isCustom()) {
            m_position = ownCustomFrom(m_position->offset, false);
        } else if (++m_position != sequence.end() && m_position->isCustom()) {
            m_position = ownCustomFrom(m_position->offset, true);
        }
        if (m_position == sequence.end()) {
            m_current = nullptr;
            return;
        }
    } while (visitNext());
}

void SequencedIteratorBase::decrement() {
    auto const& sequence = m_node->m_specification->attributes;
    do {
        if (m_position == sequence.begin()) {
            m_position = sequence.end();
            m_current = nullptr;
            return;
        }
        --m_position;
    } while (visitNext());
}

Attribute const& SequencedIteratorBase::current() const {
    if (m_position == m_node->m_specification->attributes.end() || m_current == nullptr) {
        throw OutOfRangeException("");
    }
    return *m_current;
}

} // namespace Norv::Tavel
