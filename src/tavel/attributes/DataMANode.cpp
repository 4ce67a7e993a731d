#include <tavel/attributes/DataMANode.h>

#include <tavel/attributes/detail/NodeLinks.h>
#include <tavel/nodes/Node.h>

#include <algorithm>

namespace Norv::Tavel {

using detail::NodeLinks;

MANode::MANode(Node* owner, GUIControlType controlType)
    : AttributeBase<MultiAttributeBase<AT_M_NODE_PTR>>(owner, controlType),
      m_inhibitUpdateCounter(0), m_subHierarchyIncarnation(1) {}

MANode::MANode(MANode const& other)
    : AttributeBase<MultiAttributeBase<AT_M_NODE_PTR>>(other), m_inhibitUpdateCounter(0),
      m_subHierarchyIncarnation(other.m_subHierarchyIncarnation) {}

MANode& MANode::operator=(MANode const& other) {
    if (&other != this) {
        Attribute::operator=(other);
        m_subHierarchyIncarnation =
            std::max(m_subHierarchyIncarnation, other.m_subHierarchyIncarnation);
    }
    return *this;
}

MANode::~MANode() = default;

std::int64_t MANode::getSubHierarchyIncarnation() const {
    return m_subHierarchyIncarnation;
}

void MANode::addElement(NodeRef const& element, std::size_t index) {
    if (!element) {
        throw BadCastException("");
    }
    NodeLinks::enter(*this, hasOwner() ? &getOwner() : nullptr, *element, index,
                     m_inhibitUpdateCounter);
}

void MANode::removeElement(NodeRef const& element, std::size_t index) {
    if (!element) {
        return;
    }
    std::exception_ptr deferred;
    NodeLinks::leave(*this, hasOwner() ? &getOwner() : nullptr, *element, index,
                     m_inhibitUpdateCounter, false, deferred);
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

void MANode::enter(Node& element, std::size_t index, std::vector<Step>& journal) {
    NodeLinks::enter(*this, hasOwner() ? &getOwner() : nullptr, element, index,
                     m_inhibitUpdateCounter);
    journal.push_back({&element, index, true});
}

void MANode::leave(Node& element, std::size_t index, std::vector<Step>& journal,
                   std::exception_ptr& deferred) {
    NodeLinks::leave(*this, hasOwner() ? &getOwner() : nullptr, element, index,
                     m_inhibitUpdateCounter, false, deferred);
    journal.push_back({&element, index, false});
}

void MANode::rollBack(std::vector<Step> const& journal) noexcept {
    Node* const owner = hasOwner() ? &getOwner() : nullptr;
    for (auto step = journal.rbegin(); step != journal.rend(); ++step) {
        try {
            std::exception_ptr ignored;
            if (step->entered) {
                NodeLinks::leave(*this, owner, *step->element, step->index, m_inhibitUpdateCounter,
                                 false, ignored);
            } else {
                NodeLinks::enter(*this, owner, *step->element, step->index, m_inhibitUpdateCounter);
            }
        } catch (...) {
            // Undoing is best effort: the failure being undone is what the
            // caller hears of.
        }
    }
}

void MANode::postChange(ChangeAction action, bool structureChanged,
                        boost::optional<Attribute const&> source, std::int64_t const& incarnation) {
    NodeLinks::postChange(*this, m_subHierarchyIncarnation, action, structureChanged, source,
                          incarnation);
}

template <class T>
DataMANode<T>::DataMANode(Node* owner, GUIControlType controlType) : MANode(owner, controlType) {}

template <class T>
DataMANode<T>::DataMANode(DataMANode const& other) : MANode(other), m_values(other.m_values) {}

template <class T> DataMANode<T>& DataMANode<T>::operator=(DataMANode const& other) {
    MANode::operator=(other);
    return *this;
}

template <class T> DataMANode<T>::~DataMANode() {
    if (hasOwner()) {
        for (auto const& element : m_values) {
            NodeLinks::unlink(*this, &getOwner(), *element);
        }
    }
}

template <class T>
std::vector<norv::basalt::Ref<T>> DataMANode<T>::convert(std::vector<NodeRef> const& elements) {
    std::vector<norv::basalt::Ref<T>> converted;
    converted.reserve(elements.size());
    for (NodeRef const& element : elements) {
        norv::basalt::Ref<T> typed = norv::basalt::dynamic_ref_cast<T>(element);
        if (!typed) {
            throw BadCastException("");
        }
        converted.push_back(std::move(typed));
    }
    return converted;
}

template <class T> void DataMANode<T>::set(std::vector<NodeRef> const& value) {
    std::vector<norv::basalt::Ref<T>> wanted = convert(value);
    if (wanted == m_values) {
        return;
    }
    // The working list is the wanted prefix [0, i) followed by the held
    // elements from `kept` on, so the walk is linear in the two lengths.
    std::vector<Step> journal;
    std::exception_ptr deferred;
    try {
        std::size_t i = 0;
        std::size_t kept = 0;
        auto held = [&](std::size_t offset) -> Node* {
            return kept + offset < m_values.size() ? m_values[kept + offset].get() : nullptr;
        };
        auto want = [&](std::size_t position) -> Node* {
            return position < wanted.size() ? wanted[position].get() : nullptr;
        };
        for (;;) {
            Node* const a = held(0);
            Node* const b = want(i);
            if (a == nullptr && b == nullptr) {
                break;
            }
            if (a == nullptr) {
                enter(*b, i, journal);
                ++i;
                continue;
            }
            if (b == nullptr) {
                leave(*a, i, journal, deferred);
                ++kept;
                continue;
            }
            Node* const c = held(1);
            Node* const d = want(i + 1);
            if (c == nullptr && d == nullptr) {
                if (a != b) {
                    leave(*a, i, journal, deferred);
                    enter(*b, i, journal);
                }
                break;
            }
            if (a == b) {
                bool const both = c != nullptr && c == d;
                i += both ? 2 : 1;
                kept += both ? 2 : 1;
            } else if (a != d && c == b) {
                leave(*a, i, journal, deferred);
                ++i;
                kept += 2;
            } else {
                enter(*b, i, journal);
                ++i;
            }
        }
    } catch (...) {
        rollBack(journal);
        throw;
    }
    m_values = std::move(wanted);
    postChange(CA_VALUE_CHANGED, true, *this, -1);
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

template <class T> std::vector<NodeRef> DataMANode<T>::get() const {
    return std::vector<NodeRef>(m_values.begin(), m_values.end());
}

template <class T> std::size_t DataMANode<T>::getSize() const {
    return m_values.size();
}

template <class T> void DataMANode<T>::setGeneric(AttributeValue const& value) {
    if (value.m_type != AT_M_NODE_PTR) {
        throw BadCastException("");
    }
    set(valueOf(value));
}

template <class T> NodeRef DataMANode<T>::getElement(std::size_t index) {
    if (index >= m_values.size()) {
        throw OutOfRangeException("");
    }
    return m_values[index];
}

template <class T> void DataMANode<T>::insertElement(NodeRef const& element, std::size_t index) {
    insertNodeList(convert({element}), index);
}

template <class T>
void DataMANode<T>::insertElements(std::vector<NodeRef> const& elements, std::size_t index) {
    insertNodeList(convert(elements), index);
}

template <class T>
void DataMANode<T>::insertNodeList(std::vector<norv::basalt::Ref<T>> const& elements,
                                   std::size_t index) {
    if (elements.empty()) {
        return;
    }
    if (std::any_of(elements.begin(), elements.end(), [](auto const& e) { return !e; })) {
        throw BadCastException("");
    }
    std::vector<Step> journal;
    try {
        for (std::size_t i = 0; i < elements.size(); ++i) {
            enter(*elements[i], i, journal);
        }
    } catch (...) {
        rollBack(journal);
        throw;
    }
    auto const position = m_values.begin() + std::ptrdiff_t(std::min(index, m_values.size()));
    m_values.insert(position, elements.begin(), elements.end());
    postChange(CA_ELEMENTS_INSERTED, true, *this, -1);
}

template <class T> void DataMANode<T>::eraseElements(std::size_t first, std::size_t last) {
    if (first >= m_values.size() || last >= m_values.size()) {
        return;
    }
    last = std::max(first, last);
    std::vector<Step> journal;
    std::exception_ptr deferred;
    try {
        for (std::size_t i = first; i <= last; ++i) {
            leave(*m_values[i], i, journal, deferred);
        }
    } catch (...) {
        rollBack(journal);
        throw;
    }
    m_values.erase(m_values.begin() + std::ptrdiff_t(first),
                   m_values.begin() + std::ptrdiff_t(last) + 1);
    postChange(CA_ELEMENTS_REMOVED, true, *this, -1);
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

template <class T> void DataMANode<T>::eraseElement(std::size_t index) {
    if (index < m_values.size()) {
        eraseElements(index, index);
    }
}

template <class T> void DataMANode<T>::incInhibitUpdateCounter() {
    ++m_inhibitUpdateCounter;
    for (auto const& element : m_values) {
        NodeLinks::raise(*element);
    }
}

template <class T> void DataMANode<T>::decInhibitUpdateCounter() {
    std::exception_ptr deferred;
    // A release notification may edit this list: walk a snapshot.
    std::vector<norv::basalt::Ref<T>> const elements = m_values;
    for (auto const& element : elements) {
        NodeLinks::lower(*element, deferred);
    }
    --m_inhibitUpdateCounter;
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

template class DataMANode<Node>;

} // namespace Norv::Tavel
