#include <tavel/attributes/DataMANode.h>

#include "tavel/attributes/NodeLinks.h"

#include <tavel/nodes/Node.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <type_traits>
#include <utility>

namespace Norv::Tavel {

using detail::InhibitLevels;
using detail::NodeLinks;

namespace {

constexpr std::size_t ENTERS = std::numeric_limits<std::size_t>::max();

// One step of the walk from the held list to the wanted one: an element of
// the wanted list enters, or one of the held list leaves, at `index`.
struct WalkStep {
    bool enters;
    std::size_t index;
    std::size_t element;
};

// The walk from `held` to `wanted`, which touches only the elements that
// differ. `from` receives, for every wanted position, the held position it
// keeps, or ENTERS. The working list is the wanted prefix [0, i) followed by
// the held elements from `kept` on, so the walk is linear in both lengths.
template <class R>
void planWalk(std::vector<R> const& held, std::vector<R> const& wanted,
              std::vector<WalkStep>& steps, std::vector<std::size_t>& from) {
    from.assign(wanted.size(), ENTERS);
    std::size_t i = 0;
    std::size_t kept = 0;
    auto heldAt = [&](std::size_t offset) -> Node* {
        return kept + offset < held.size() ? held[kept + offset].get() : nullptr;
    };
    auto wantedAt = [&](std::size_t position) -> Node* {
        return position < wanted.size() ? wanted[position].get() : nullptr;
    };
    for (;;) {
        Node* const a = heldAt(0);
        Node* const b = wantedAt(i);
        if (a == nullptr && b == nullptr) {
            return;
        }
        if (a == nullptr) {
            steps.push_back({true, i, i});
            ++i;
            continue;
        }
        if (b == nullptr) {
            steps.push_back({false, i, kept});
            ++kept;
            continue;
        }
        Node* const c = heldAt(1);
        Node* const d = wantedAt(i + 1);
        if (c == nullptr && d == nullptr) {
            if (a != b) {
                steps.push_back({false, i, kept});
                steps.push_back({true, i, i});
            } else {
                from[i] = kept;
            }
            return;
        }
        if (a == b) {
            from[i] = kept;
            bool const both = c != nullptr && c == d;
            if (both) {
                from[i + 1] = kept + 1;
            }
            i += both ? 2 : 1;
            kept += both ? 2 : 1;
        } else if (a != d && c == b) {
            steps.push_back({false, i, kept});
            from[i] = kept + 1;
            ++i;
            kept += 2;
        } else {
            steps.push_back({true, i, i});
            ++i;
        }
    }
}

} // namespace

MANode::MANode(Node* owner, GUIControlType controlType)
    : AttributeBase<MultiAttributeBase<AT_M_NODE_PTR>>(owner, controlType),
      m_inhibitUpdateCounter(0), m_subHierarchyIncarnation(1) {}

MANode::MANode(MANode const& other)
    : AttributeBase<MultiAttributeBase<AT_M_NODE_PTR>>(other), m_inhibitUpdateCounter(0),
      m_subHierarchyIncarnation(other.m_subHierarchyIncarnation),
      m_levels(other.m_levels.size()) {}

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
    NodeRef const held = element;
    NodeLinks::Edit edit(*this);
    edit.enter(*held, index);
    edit.commit();
    NodeLinks::enter(*held, hasOwner() ? &getOwner() : nullptr, m_depth);
}

void MANode::removeElement(NodeRef const& element, std::size_t index) {
    if (!element) {
        return;
    }
    NodeRef const held = element;
    NodeLinks::Edit edit(*this);
    edit.leave(*held, index);
    edit.commit();
    std::exception_ptr deferred;
    NodeLinks::lower(*held, m_depth, deferred);
    if (deferred) {
        std::rethrow_exception(deferred);
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

namespace {

// Refuses an edit whose hooks edited the same list meanwhile.
void checkUnchanged(std::uint64_t edits, std::uint64_t before) {
    if (edits != before) {
        throw InvalidOperationException("");
    }
}

// The nodes an edit let go, with the levels their positions applied; they are
// lowered once the list is complete. The edit holds the nodes meanwhile.
struct LetGo {
    std::vector<std::pair<Node*, InhibitLevels>> nodes;

    void add(Node& node, InhibitLevels&& levels) {
        if (!levels.empty()) {
            nodes.emplace_back(&node, std::move(levels));
        }
    }
    void lower(std::exception_ptr& deferred) {
        for (auto const& [node, levels] : nodes) {
            NodeLinks::lower(*node, levels, deferred);
        }
    }
};

} // namespace

template <class T> void DataMANode<T>::set(std::vector<NodeRef> const& value) {
    std::vector<norv::basalt::Ref<T>> wanted = convert(value);
    if (wanted == m_values) {
        return;
    }
    keepLevelsInStep();
    std::vector<WalkStep> steps;
    std::vector<std::size_t> from;
    planWalk(m_values, wanted, steps, from);

    NodeLinks::Edit edit(*this);
    edit.expect(steps.size());
    std::uint64_t const before = m_edits;
    for (WalkStep const& step : steps) {
        checkUnchanged(m_edits, before);
        if (step.enters) {
            edit.enter(*wanted[step.element], step.index);
        } else {
            edit.leave(*m_values[step.element], step.index);
        }
    }
    checkUnchanged(m_edits, before);
    edit.commit();
    if (m_edits != before) {
        // A removeOwner hook edited the list while the links went: that edit stands.
        edit.dropEntered();
        return;
    }

    // Raised first: a raise that comes round a cycle to this list pushes a
    // level onto every held position, which the copies below then carry.
    Node* const owner = hasOwner() ? &getOwner() : nullptr;
    std::vector<InhibitLevels> levels(wanted.size());
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (from[i] == ENTERS) {
            levels[i] = NodeLinks::enter(*wanted[i], owner, m_depth);
        }
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (from[i] != ENTERS) {
            levels[i] = std::move(m_levels[from[i]]);
        }
    }
    LetGo letGo;
    for (WalkStep const& step : steps) {
        if (!step.enters) {
            letGo.add(*m_values[step.element], std::move(m_levels[step.element]));
        }
    }
    // The nodes let go are released when the edit has been reported.
    std::vector<norv::basalt::Ref<T>> const held = std::exchange(m_values, std::move(wanted));
    m_levels = std::move(levels);
    ++m_edits;

    std::exception_ptr deferred;
    letGo.lower(deferred);
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
    DataMANode::insertElements({element}, index);
}

template <class T>
void DataMANode<T>::insertElements(std::vector<NodeRef> const& elements, std::size_t index) {
    // A list of any node needs no conversion: insertNodeList refuses null.
    if constexpr (std::is_same_v<T, Node>) {
        insertNodeList(elements, index);
    } else {
        insertNodeList(convert(elements), index);
    }
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
    // What enters is fixed before any hook runs, and held until it is stored.
    std::vector<norv::basalt::Ref<T>> entering(elements);
    keepLevelsInStep();
    NodeLinks::Edit edit(*this);
    edit.beginRun(entering, 0, true);
    std::uint64_t const before = m_edits;
    for (std::size_t i = 0; i < entering.size(); ++i) {
        checkUnchanged(m_edits, before);
        edit.enterNext();
    }
    checkUnchanged(m_edits, before);
    edit.commit();

    std::size_t const position = std::min(index, m_values.size());
    if (m_depth.empty()) {
        m_levels.insert(m_levels.begin() + std::ptrdiff_t(position), entering.size(),
                        InhibitLevels());
    } else {
        Node* const owner = hasOwner() ? &getOwner() : nullptr;
        std::vector<InhibitLevels> levels;
        levels.reserve(entering.size());
        for (auto const& element : entering) {
            levels.push_back(NodeLinks::enter(*element, owner, m_depth));
        }
        m_levels.insert(m_levels.begin() + std::ptrdiff_t(position),
                        std::make_move_iterator(levels.begin()),
                        std::make_move_iterator(levels.end()));
    }
    m_values.insert(m_values.begin() + std::ptrdiff_t(position),
                    std::make_move_iterator(entering.begin()),
                    std::make_move_iterator(entering.end()));
    ++m_edits;
    postChange(CA_ELEMENTS_INSERTED, true, *this, -1);
}

template <class T> void DataMANode<T>::eraseElements(std::size_t first, std::size_t last) {
    if (first >= m_values.size() || last >= m_values.size()) {
        return;
    }
    last = std::max(first, last);
    keepLevelsInStep();
    NodeLinks::Edit edit(*this);
    edit.beginRun(m_values, first, false);
    std::uint64_t const before = m_edits;
    for (std::size_t i = first; i <= last; ++i) {
        checkUnchanged(m_edits, before);
        edit.leaveNext();
    }
    checkUnchanged(m_edits, before);
    edit.commit();
    if (m_edits != before) {
        // A removeOwner hook edited the list while the links went: that edit stands.
        return;
    }

    auto const from = m_values.begin() + std::ptrdiff_t(first);
    auto const to = m_values.begin() + std::ptrdiff_t(last) + 1;
    // The nodes let go are released when the edit has been reported.
    std::vector<norv::basalt::Ref<T>> const held(std::make_move_iterator(from),
                                                 std::make_move_iterator(to));
    LetGo letGo;
    for (std::size_t i = first; i <= last; ++i) {
        letGo.add(*held[i - first], std::move(m_levels[i]));
    }
    m_values.erase(from, to);
    m_levels.erase(m_levels.begin() + std::ptrdiff_t(first),
                   m_levels.begin() + std::ptrdiff_t(last) + 1);
    ++m_edits;

    std::exception_ptr deferred;
    letGo.lower(deferred);
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
    std::uint32_t const token = NodeLinks::currentToken();
    ++m_inhibitUpdateCounter;
    m_depth.add(token);
    keepLevelsInStep();
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        NodeLinks::raise(*m_values[i], token, m_levels[i]);
    }
}

template <class T> void DataMANode<T>::decInhibitUpdateCounter() {
    std::uint32_t const token = NodeLinks::currentToken();
    // Its own state first: a release notification may edit this list.
    --m_inhibitUpdateCounter;
    m_depth.remove(token);
    keepLevelsInStep();
    std::vector<norv::basalt::Ref<T>> lowered;
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        if (m_levels[i].remove(token)) {
            lowered.push_back(m_values[i]);
        }
    }
    std::exception_ptr deferred;
    for (auto const& element : lowered) {
        NodeLinks::lower(*element, token, deferred);
    }
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

template class DataMANode<Node>;

} // namespace Norv::Tavel
