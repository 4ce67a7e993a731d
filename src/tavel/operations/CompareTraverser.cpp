#include <tavel/operations/CompareTraverser.h>

#include "tavel/operations/AttributeSlots.h"

#include <tavel/attributes/AttributeBase.h>
#include <tavel/types/AttributeTraits.h>
#include <tavel/types/Exceptions.h>

namespace Norv::Tavel {

using detail::AttributeSlot;
using norv::basalt::Ref;

namespace {

using SingleReference = AttributeBase<SingleAttributeBase<AT_S_NODE_PTR>>;
using ListReference = AttributeBase<MultiAttributeBase<AT_M_NODE_PTR>>;

template <class T> T& referenceOf(Attribute& attribute) {
    auto* const typed = dynamic_cast<T*>(&attribute);
    if (typed == nullptr) {
        throw BadCastException("");
    }
    return *typed;
}

} // namespace

// The work list of one comparison: a stack of pairs standing for the
// recursion. The attributes and list elements of every open pair lie in
// shared arenas, each pair's above its parent's.
struct CompareTraverser::Walk {
    enum class Waiting { nothing, reference, element };

    struct Frame {
        Ref<Node> first;
        Ref<Node> second;
        bool tracked;            // shared nodes: entered in m_pairs
        std::size_t firstBegin;  // this pair's part of `firsts`
        std::size_t p;           // the next attribute of the first node
        std::size_t secondBegin; // this pair's part of `seconds`
        std::size_t q;
        std::size_t secondEnd;
        Waiting waiting = Waiting::nothing;
        // The lists of references being compared, element by element.
        bool inList = false;
        std::size_t elementsBegin = 0; // both lists, first then second
        std::size_t count = 0;
        std::size_t index = 0;
    };

    std::vector<Frame> frames;
    std::vector<AttributeSlot> firsts;
    std::vector<AttributeSlot> seconds;
    std::vector<Ref<Node>> elements;
};

CompareTraverser::CompareTraverser(Ref<Node> const& first, Ref<Node> const& second, int flags)
    : m_flags(flags), m_first(first), m_second(second) {}

CompareTraverser::~CompareTraverser() = default;

void CompareTraverser::setIgnoreAttributeNames(QStringList const& names) {
    detail::setIgnoreList(m_ignoreAttributeNames, names, m_flags, COMPARE_IGNORE_ATTRIBUTE_NAMES);
}

void CompareTraverser::setIgnoreAttributeNames(std::vector<std::string> const& names) {
    detail::setIgnoreList(m_ignoreAttributeNames, names, m_flags, COMPARE_IGNORE_ATTRIBUTE_NAMES);
}

void CompareTraverser::setIgnorePathList(QStringList const& paths) {
    detail::setIgnoreList(m_ignorePaths, paths, m_flags, COMPARE_IGNORE_PATHS);
}

void CompareTraverser::setIgnorePathList(std::vector<std::string> const& paths) {
    detail::setIgnoreList(m_ignorePaths, paths, m_flags, COMPARE_IGNORE_PATHS);
}

bool CompareTraverser::compare() {
    m_firstPath.emplace_back();
    m_secondPath.emplace_back();
    return compareNodes(m_first, m_second);
}

bool CompareTraverser::compare(Ref<Node> const& first, Ref<Node> const& second, int flags) {
    CompareTraverser traverser(first, second, flags);
    return traverser.compare();
}

bool CompareTraverser::valuesEqual(AttributeValue const& a, AttributeValue const& b) {
    if (a.m_type != b.m_type || !isValidAttributeType(a.m_type)) {
        return false;
    }
    return visitKind(a.m_type, [&](auto tag) {
        using ValueType = typename KindTraits<decltype(tag)::value>::ValueType;
        ValueType const* const x = a.get<ValueType>();
        ValueType const* const y = b.get<ValueType>();
        if (x == nullptr || y == nullptr) {
            return false;
        }
        // Lists compare their elements with the elements' own ==, which is
        // exact for floats and doubles and tolerant for the vector types.
        if constexpr (KindTraits<decltype(tag)::value>::isList) {
            return *x == *y;
        } else {
            return singleValueEquals(*x, *y);
        }
    });
}

bool CompareTraverser::compareNodes(Ref<Node> const& first, Ref<Node> const& second) {
    Walk walk;
    m_pairs.clear();
    if (m_firstPath.empty() || m_secondPath.empty()) {
        m_firstPath.emplace_back(); // entered without compare()
        m_secondPath.emplace_back();
    }
    bool const trackPaths = (m_flags & COMPARE_IGNORE_PATHS) != 0;
    bool const ignoreNames = (m_flags & COMPARE_IGNORE_ATTRIBUTE_NAMES) != 0;
    bool const withCustom = (m_flags & COMPARE_CUSTOM_ATTRIBUTES) != 0;
    bool const withInstanceData = (m_flags & COMPARE_INSTANCE_DATA) != 0;

    enum class Entered { equal, unequal, opened };
    // Steps 1 to 3 of a pair, then its frame. The roots are always entered in
    // m_pairs: a cycle may lead back to them through their only owner link.
    // Any other node met twice has two owner links, so pairs of nodes with at
    // most one each need no record.
    auto const enter = [&](Ref<Node> const& a, Ref<Node> const& b) {
        if (a.get() == b.get()) {
            return Entered::equal;
        }
        if (!a || !b) {
            return Entered::unequal;
        }
        if ((m_flags & COMPARE_CLASS_IDS) != 0 && !(a->getClsId() == b->getClsId())) {
            return Entered::unequal;
        }
        bool const tracked = (a == first && b == second) || a->getNumberOfOwnerLinks() > 1 ||
                             b->getNumberOfOwnerLinks() > 1;
        if (tracked && m_pairs.count(Pair(a, b)) != 0) {
            return Entered::equal; // under comparison (a cycle) or found equal
        }
        if (!a->preCompareAction(b, m_flags)) {
            return Entered::unequal;
        }
        if (tracked) {
            m_pairs.emplace(Pair(a, b), false);
        }
        Walk::Frame frame;
        frame.first = a;
        frame.second = b;
        frame.tracked = tracked;
        frame.firstBegin = frame.p = walk.firsts.size();
        frame.secondBegin = frame.q = walk.seconds.size();
        detail::noteAttributes(*a, walk.firsts);
        detail::noteAttributes(*b, walk.seconds);
        frame.secondEnd = walk.seconds.size();
        walk.frames.push_back(std::move(frame));
        return Entered::opened;
    };
    auto const popPaths = [&] {
        if (trackPaths && !m_firstPath.empty() && !m_secondPath.empty()) {
            m_firstPath.pop_back();
            m_secondPath.pop_back();
        }
    };

    switch (enter(first, second)) {
    case Entered::equal:
        return true;
    case Entered::unequal:
        return false;
    case Entered::opened:
        break;
    }

    // The result of the innermost pair that has just ended.
    auto const finish = [&](bool equal) {
        Walk::Frame& frame = walk.frames.back();
        if (frame.tracked) {
            // Found equal, a pair is not compared again, unless its result may
            // depend on the path it is met by.
            if (equal && !trackPaths) {
                m_pairs[Pair(frame.first, frame.second)] = true;
            } else {
                m_pairs.erase(Pair(frame.first, frame.second));
            }
        }
        walk.firsts.resize(frame.firstBegin);
        walk.seconds.resize(frame.secondBegin);
        walk.frames.pop_back();
    };

    while (!walk.frames.empty()) {
        Walk::Frame* frame = &walk.frames.back();
        // A pair below has just compared equal: go on after it.
        if (frame->waiting == Walk::Waiting::element) {
            popPaths();
            ++frame->index;
        } else if (frame->waiting == Walk::Waiting::reference) {
            popPaths();
            ++frame->p;
            ++frame->q;
        }
        frame->waiting = Walk::Waiting::nothing;

        if (frame->inList) {
            if (frame->index == frame->count) {
                walk.elements.resize(frame->elementsBegin);
                frame->inList = false;
                popPaths();
                ++frame->p;
                ++frame->q;
                continue;
            }
            std::size_t const at = frame->elementsBegin + frame->index;
            Ref<Node> const a = walk.elements[at];
            Ref<Node> const b = walk.elements[at + frame->count];
            if (trackPaths) {
                m_firstPath.push_back(detail::elementPath(m_firstPath.back(), frame->index));
                m_secondPath.push_back(detail::elementPath(m_secondPath.back(), frame->index));
            }
            frame->waiting = Walk::Waiting::element;
            switch (enter(a, b)) {
            case Entered::equal:
                break; // goes on at the next round
            case Entered::unequal:
                return false;
            case Entered::opened:
                break;
            }
            continue;
        }

        std::size_t const firstEnd = walk.firsts.size();
        Attribute* x = nullptr;
        Attribute* y = nullptr;
        AttributeSlot const* xSlot = nullptr;
        AttributeSlot const* ySlot = nullptr;
        if (frame->p < firstEnd) {
            xSlot = &walk.firsts[frame->p];
            x = xSlot->resolve(*frame->first);
            if (x == nullptr) {
                ++frame->p; // removed meanwhile
                continue;
            }
        }
        if (frame->q < frame->secondEnd) {
            ySlot = &walk.seconds[frame->q];
            y = ySlot->resolve(*frame->second);
            if (y == nullptr) {
                ++frame->q;
                continue;
            }
        }

        if (x == nullptr && y == nullptr) {
            Ref<Node> const a = frame->first;
            Ref<Node> const b = frame->second;
            bool const equal = a->postCompareAction(b, m_flags);
            if (!equal) {
                return false;
            }
            finish(true);
            continue;
        }
        if (x == nullptr || y == nullptr) {
            // The first attribute left over decides; the hook is not asked.
            AttributeSlot const& left = x != nullptr ? *xSlot : *ySlot;
            bool const equal = left.custom         ? !withCustom
                               : left.instanceData ? !withInstanceData
                                                   : false;
            if (!equal) {
                return false;
            }
            finish(true);
            continue;
        }

        if ((!withCustom && xSlot->custom) || (!withInstanceData && xSlot->instanceData)) {
            ++frame->p;
            ++frame->q;
            continue;
        }
        if (ignoreNames) {
            bool passed = false;
            if (m_ignoreAttributeNames.contains(x->getAttributeName())) {
                ++frame->p;
                passed = true;
            }
            if (m_ignoreAttributeNames.contains(y->getAttributeName())) {
                ++frame->q;
                passed = true;
            }
            if (passed) {
                continue;
            }
        }
        if (trackPaths) {
            QString firstPath = detail::childPath(m_firstPath.back(), x->getAttributeName());
            QString secondPath = detail::childPath(m_secondPath.back(), y->getAttributeName());
            bool passed = false;
            if (m_ignorePaths.contains(firstPath)) {
                ++frame->p;
                passed = true;
            }
            if (m_ignorePaths.contains(secondPath)) {
                ++frame->q;
                passed = true;
            }
            if (passed) {
                continue;
            }
            m_firstPath.push_back(std::move(firstPath));
            m_secondPath.push_back(std::move(secondPath));
        }

        AttributeType const type = x->getAttributeType();
        if (type != y->getAttributeType()) {
            return false;
        }
        if ((m_flags & COMPARE_NAMES) != 0 && x->getAttributeName() != y->getAttributeName()) {
            return false;
        }
        if ((m_flags & COMPARE_HUMAN_READABLE_NAMES) != 0 &&
            x->getHumanReadableName() != y->getHumanReadableName()) {
            return false;
        }
        if ((m_flags & COMPARE_GUI_CONTROL_TYPES) != 0 &&
            x->getGuiControlType() != y->getGuiControlType()) {
            return false;
        }
        if ((m_flags & COMPARE_MIN_MAX_VALUES) != 0 &&
            (x->hasMinMaxValues() || y->hasMinMaxValues())) {
            if (x->hasMinMaxValues() != y->hasMinMaxValues() ||
                !valuesEqual(x->getMinValueGeneric(), y->getMinValueGeneric()) ||
                !valuesEqual(x->getMaxValueGeneric(), y->getMaxValueGeneric())) {
                return false;
            }
        }

        if (type == AT_S_NODE_PTR) {
            Ref<Node> const a = referenceOf<SingleReference>(*x).get();
            Ref<Node> const b = referenceOf<SingleReference>(*y).get();
            frame->waiting = Walk::Waiting::reference;
            if (enter(a, b) == Entered::unequal) {
                return false;
            }
            continue;
        }
        if (type == AT_M_NODE_PTR) {
            std::vector<NodeRef> const a = referenceOf<ListReference>(*x).get();
            std::vector<NodeRef> const b = referenceOf<ListReference>(*y).get();
            if (a.size() != b.size()) {
                return false;
            }
            frame->inList = true;
            frame->count = a.size();
            frame->index = 0;
            frame->elementsBegin = walk.elements.size();
            walk.elements.insert(walk.elements.end(), a.begin(), a.end());
            walk.elements.insert(walk.elements.end(), b.begin(), b.end());
            continue;
        }
        if ((m_flags & COMPARE_VALUES) != 0 && !x->compare(*y)) {
            return false;
        }
        popPaths();
        ++frame->p;
        ++frame->q;
    }
    return true;
}

} // namespace Norv::Tavel
