#include <tavel/operations/CopyTraverser.h>

#include "tavel/operations/AttributeSlots.h"

#include <tavel/attributes/AttributeBase.h>
#include <tavel/attributes/DataMANode.h>
#include <tavel/types/Exceptions.h>

#include <exception>
#include <limits>

namespace Norv::Tavel {

using detail::AttributeSlot;
using norv::basalt::Ref;

namespace {

using SingleReference = AttributeBase<SingleAttributeBase<AT_S_NODE_PTR>>;

constexpr std::size_t APPEND = std::numeric_limits<std::size_t>::max();

SingleReference& singleReference(Attribute& attribute) {
    auto* const typed = dynamic_cast<SingleReference*>(&attribute);
    if (typed == nullptr) {
        throw BadCastException("");
    }
    return *typed;
}

MANode& listReference(Attribute& attribute) {
    auto* const typed = dynamic_cast<MANode*>(&attribute);
    if (typed == nullptr) {
        throw BadCastException("");
    }
    return *typed;
}

NodeSStorage* storageOf(Node* node) {
    return dynamic_cast<NodeSStorage*>(node);
}

} // namespace

// The work list of one buildHierarchy: a stack of visits standing for the
// recursion. The attributes and list elements of every open visit lie in
// shared arenas, each visit's above its parent's, so a visit costs no
// allocation of its own once the arenas have grown.
struct CopyTraverser::Walk {
    struct Visit {
        Ref<Node> source;
        Ref<Node> target;
        bool sharedOnly;
        std::size_t sourceBegin; // this visit's part of `sources`
        std::size_t next;        // the next source attribute
        std::size_t targetBegin; // this visit's part of `targets`
        std::size_t targetAt;    // the target attribute that pairs with the next fixed one
        std::size_t targetEnd;
        // Paths to pop when the visit below ends and this one goes on.
        int pendingPops = 0;
        // The list attribute being copied, element by element.
        bool inList = false;
        AttributeSlot listSource{nullptr, 0, false, false};
        AttributeSlot listTarget{nullptr, 0, false, false};
        std::size_t elementsBegin = 0;
        std::size_t element = 0;
    };

    std::vector<Visit> visits;
    std::vector<AttributeSlot> sources;
    std::vector<AttributeSlot> targets;
    std::vector<Ref<Node>> elements;
};

CopyTraverser::CopyTraverser(Ref<Node> const& source, int flags)
    : m_source(source), m_flags(flags) {}

// An unfinished copy may hold reference cycles that nobody else can reach:
// unlinking the copies made frees them with the traverser. The source is
// never touched; what subscribers throw meanwhile is dropped.
CopyTraverser::~CopyTraverser() {
    if (!m_failed) {
        return;
    }
    std::vector<AttributeSlot> noted;
    for (Ref<Node> const& node : m_made) {
        noted.clear();
        try {
            detail::noteAttributes(*node, noted);
        } catch (...) {
            continue;
        }
        for (AttributeSlot const& slot : noted) {
            try {
                Attribute* const attribute = slot.resolve(*node);
                if (attribute == nullptr) {
                    continue;
                }
                if (attribute->getAttributeType() == AT_S_NODE_PTR) {
                    singleReference(*attribute).set(Ref<Node>());
                } else if (attribute->getAttributeType() == AT_M_NODE_PTR) {
                    listReference(*attribute).set(std::vector<NodeRef>());
                }
            } catch (...) {
            }
        }
    }
}

void CopyTraverser::setIgnoreAttributeNames(QStringList const& names) {
    detail::setIgnoreList(m_ignoreAttributeNames, names, m_flags, COPY_IGNORE_ATTRIBUTE_NAMES);
}

void CopyTraverser::setIgnoreAttributeNames(std::vector<std::string> const& names) {
    detail::setIgnoreList(m_ignoreAttributeNames, names, m_flags, COPY_IGNORE_ATTRIBUTE_NAMES);
}

void CopyTraverser::setIgnorePathList(QStringList const& paths) {
    detail::setIgnoreList(m_ignorePaths, paths, m_flags, COPY_IGNORE_PATHS);
}

void CopyTraverser::setIgnorePathList(std::vector<std::string> const& paths) {
    detail::setIgnoreList(m_ignorePaths, paths, m_flags, COPY_IGNORE_PATHS);
}

Ref<Node> CopyTraverser::apply(boost::shared_ptr<Registry> registry) {
    if (!m_source) {
        return Ref<Node>();
    }
    try {
        m_copy = m_source->createInstance(std::move(registry));
        if (!m_copy) {
            return Ref<Node>();
        }
        m_made.push_back(m_copy);
        m_pathStack.emplace_back();
        buildHierarchy(m_source, m_copy, false);
    } catch (...) {
        m_failed = true;
        throw;
    }
    // The copies now belong to the result, even those an earlier failed apply made.
    m_failed = false;
    m_made.clear();
    return m_copy;
}

Ref<Node> CopyTraverser::apply(Ref<Node> const& source, boost::shared_ptr<Registry> registry,
                               int flags) {
    CopyTraverser traverser(source, flags);
    traverser.m_targetRegistry = registry;
    return traverser.apply(std::move(registry));
}

void CopyTraverser::buildHierarchy(Ref<Node> const& source, Ref<Node> target, bool sharedOnly) {
    if (!source || !target) {
        return;
    }
    Walk walk;
    bool const trackPaths = (m_flags & COPY_IGNORE_PATHS) != 0;
    if (m_pathStack.empty()) {
        m_pathStack.emplace_back(); // entered without apply
    }

    auto const open = [&](Ref<Node> const& from, Ref<Node> const& to, bool onlyShared) {
        if (storageOf(from.get()) != nullptr && !m_storageVisits.emplace(from, to).second) {
            return false;
        }
        Walk::Visit visit;
        visit.source = from;
        visit.target = to;
        visit.sharedOnly = onlyShared;
        visit.sourceBegin = visit.next = walk.sources.size();
        visit.targetBegin = visit.targetAt = walk.targets.size();
        detail::noteAttributes(*from, walk.sources);
        detail::noteAttributes(*to, walk.targets);
        visit.targetEnd = walk.targets.size();
        walk.visits.push_back(std::move(visit));
        return true;
    };
    auto const popPath = [&] {
        if (trackPaths && !m_pathStack.empty()) {
            m_pathStack.pop_back();
        }
    };
    // A new node of R's class, recorded so that R is copied only once.
    auto const makeCopy = [&](Ref<Node> const& original) {
        Ref<Node> made = original->createInstance(m_targetRegistry);
        if (made) {
            m_made.push_back(made);
            if (NodeSStorage* const storage = storageOf(original.get())) {
                if (auto* const madeStorage = storageOf(made.get())) {
                    m_sharedCopies.emplace(storage->getSharedNodeId(),
                                           Ref<NodeSStorage>(madeStorage));
                }
            } else {
                m_copies.emplace(original, made);
            }
        }
        return made;
    };

    open(source, std::move(target), sharedOnly);
    while (!walk.visits.empty()) {
        Walk::Visit* visit = &walk.visits.back();
        for (; visit->pendingPops > 0; --visit->pendingPops) {
            popPath();
        }

        if (visit->inList) {
            // One element of a list of references per round.
            Attribute* const from = visit->listSource.resolve(*visit->source);
            Attribute* const to = visit->listTarget.resolve(*visit->target);
            if (visit->element == walk.elements.size() || from == nullptr || to == nullptr) {
                walk.elements.resize(visit->elementsBegin);
                visit->inList = false;
                popPath();
                continue;
            }
            std::size_t const index = visit->element - visit->elementsBegin;
            Ref<Node> const original = walk.elements[visit->element++];
            MANode& list = listReference(*to);
            if (trackPaths) {
                m_pathStack.push_back(detail::elementPath(m_pathStack.back(), index));
            }
            Ref<Node> copy;
            bool onlyShared = visit->sharedOnly;
            NodeSStorage* const storage = storageOf(original.get());
            if (storage == nullptr) {
                auto const found = m_copies.find(original);
                if (found != m_copies.end()) {
                    list.insertElement(found->second, APPEND);
                } else if ((copy = makeCopy(original))) {
                    list.insertElement(copy, APPEND);
                }
            } else {
                auto const found = m_sharedCopies.find(storage->getSharedNodeId());
                if (found == m_sharedCopies.end()) {
                    if ((copy = makeCopy(original))) {
                        list.insertElement(copy, APPEND);
                    }
                } else {
                    if (!visit->sharedOnly) {
                        list.insertElement(found->second, APPEND);
                    }
                    // The list may have been edited by whoever heard of the insertion.
                    if (MANode* const again =
                            dynamic_cast<MANode*>(visit->listTarget.resolve(*visit->target));
                        again != nullptr && index < again->getSize()) {
                        copy = again->getElement(index);
                    }
                    onlyShared = true;
                }
            }
            if (copy && open(original, copy, onlyShared)) {
                walk.visits[walk.visits.size() - 2].pendingPops = trackPaths ? 1 : 0;
            } else {
                popPath();
            }
            continue;
        }

        if (visit->next == walk.sources.size()) {
            // Every attribute is done: the visit ends and its copy hears of it.
            Ref<Node> const from = std::move(visit->source);
            Ref<Node> const to = std::move(visit->target);
            walk.sources.resize(visit->sourceBegin);
            walk.targets.resize(visit->targetBegin);
            walk.visits.pop_back();
            to->postCopyAction(from, m_flags);
            continue;
        }

        AttributeSlot const sourceSlot = walk.sources[visit->next++];
        Attribute* a = sourceSlot.resolve(*visit->source);
        if (a == nullptr) {
            continue; // removed meanwhile
        }
        bool const custom = sourceSlot.custom;
        bool leftOut = (sourceSlot.instanceData && (m_flags & COPY_INSTANCE_DATA) == 0) ||
                       (custom && (m_flags & COPY_CUSTOM_ATTRIBUTES) == 0) ||
                       ((m_flags & COPY_IGNORE_ATTRIBUTE_NAMES) != 0 &&
                        m_ignoreAttributeNames.contains(a->getAttributeName()));
        QString path;
        if (!leftOut && trackPaths) {
            path = detail::childPath(m_pathStack.back(), a->getAttributeName());
            leftOut = m_ignorePaths.contains(path);
        }
        if (leftOut) {
            if (visit->targetAt < visit->targetEnd) {
                ++visit->targetAt;
            }
            continue;
        }

        AttributeSlot targetSlot{nullptr, 0, false, false};
        if (!custom) {
            if (visit->targetAt == visit->targetEnd) {
                throw OutOfRangeException(""); // the copy has fewer attributes than its source
            }
            targetSlot = walk.targets[visit->targetAt++];
        } else {
            // A name the target already carries is taken as it is; a shared-only
            // visit leaves it alone (registering it again would fail).
            QString const name = a->getAttributeName();
            if (!visit->target->getAttribute(name)) {
                visit->target->registerAttribute(name, a->getAttributeType(), a->hasMinMaxValues());
            } else if (visit->sharedOnly) {
                continue;
            }
            // Found again: whoever heard of the registration may have removed it.
            visit = &walk.visits.back();
            boost::optional<Attribute&> const made = visit->target->getAttribute(name);
            if (!made) {
                continue;
            }
            bool const madeCustom = made->isCustom();
            targetSlot = {madeCustom ? nullptr : made.get_ptr(), made->getID(), madeCustom,
                          made->isInstanceData()};
        }
        if (trackPaths) {
            m_pathStack.push_back(path);
        }

        // Re-read both sides after every call that may notify.
        auto const refresh = [&] {
            visit = &walk.visits.back();
            a = sourceSlot.resolve(*visit->source);
            return a != nullptr ? targetSlot.resolve(*visit->target) : nullptr;
        };
        Attribute* b = refresh();
        if (b != nullptr && (m_flags & COPY_HUMAN_READABLE_NAMES) != 0) {
            b->setHumanReadableName(a->getHumanReadableName());
            b = refresh();
        }
        if (b != nullptr && (m_flags & COPY_GUI_CONTROL_TYPES) != 0) {
            b->setGuiControlType(a->getGuiControlType());
        }
        if (b == nullptr) {
            popPath();
            continue;
        }

        AttributeType const type = a->getAttributeType();
        if (type == AT_S_NODE_PTR) {
            Ref<Node> const original = singleReference(*a).get();
            SingleReference& reference = singleReference(*b);
            Ref<Node> copy;
            bool onlyShared = visit->sharedOnly;
            NodeSStorage* const storage = storageOf(original.get());
            // The copy followed is the node the target holds after setting.
            auto const readBack = [&] {
                Attribute* const again = refresh();
                return again != nullptr ? singleReference(*again).get() : Ref<Node>();
            };
            if (original && storage == nullptr) {
                auto const found = m_copies.find(original);
                if (found != m_copies.end()) {
                    reference.set(found->second);
                } else if (Ref<Node> const made = makeCopy(original)) {
                    reference.set(made);
                    copy = readBack();
                }
            } else if (original) {
                auto const found = m_sharedCopies.find(storage->getSharedNodeId());
                if (found == m_sharedCopies.end()) {
                    if (Ref<Node> const made = makeCopy(original)) {
                        reference.set(made);
                        copy = readBack();
                    }
                } else {
                    if (!onlyShared) {
                        reference.set(found->second);
                    }
                    copy = readBack();
                    onlyShared = true;
                }
            }
            if (copy && open(original, copy, onlyShared)) {
                walk.visits[walk.visits.size() - 2].pendingPops = trackPaths ? 1 : 0;
            } else {
                popPath();
            }
        } else if (type == AT_M_NODE_PTR) {
            MANode& list = listReference(*b);
            // A shared-only visit of a copy whose list the first visit filled
            // leaves it alone: appending again would double every element.
            if (visit->sharedOnly && list.getSize() != 0) {
                popPath();
                continue;
            }
            std::vector<NodeRef> const originals = listReference(*a).get();
            visit->inList = true;
            visit->listSource = sourceSlot;
            visit->listTarget = targetSlot;
            visit->elementsBegin = visit->element = walk.elements.size();
            walk.elements.insert(walk.elements.end(), originals.begin(), originals.end());
        } else {
            if (!visit->sharedOnly || sourceSlot.instanceData) {
                b->assign(*a);
            }
            popPath();
        }
    }
}

} // namespace Norv::Tavel
