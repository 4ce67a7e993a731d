#include "tavel/attributes/NodeLinks.h"

#include <utility>

namespace Norv::Tavel::detail {

std::uint32_t NodeLinks::currentToken() {
    return NodeInternals::currentToken();
}

void NodeLinks::raise(Node& element, std::uint32_t token, InhibitLevels& levels) {
    bool applied = true;
    try {
        applied = NodeInternals::raise(element, token);
    } catch (...) {
        // Only a host attribute's own raise can throw, after the node's
        // depth was raised: the level stands and is returned later.
        reportIgnoredFailure("incInhibitUpdateCounter");
    }
    if (applied) {
        levels.add(token);
    }
}

InhibitLevels NodeLinks::enter(Node& element, Node* owner, InhibitLevels const& depth) {
    InhibitLevels levels;
    for (std::uint32_t const token : depth.tokens()) {
        bool applied = true;
        try {
            applied = NodeInternals::raiseEntering(element, owner, token);
        } catch (...) {
            reportIgnoredFailure("incInhibitUpdateCounter");
        }
        if (applied) {
            levels.add(token);
        }
    }
    return levels;
}

void NodeLinks::lower(Node& element, InhibitLevels const& levels, std::exception_ptr& deferred) {
    for (std::uint32_t const token : levels.tokens()) {
        lower(element, token, deferred);
    }
}

void NodeLinks::lower(Node& element, std::uint32_t token, std::exception_ptr& deferred) {
    try {
        NodeInternals::lower(element, token);
    } catch (...) {
        if (!deferred) {
            deferred = std::current_exception();
        }
    }
}

void NodeLinks::unlink(Attribute const& attribute, Node* owner, Node& element) noexcept {
    if (owner != nullptr) {
        NodeInternals::unlinkOwner(element, *owner, attribute);
    }
}

namespace {

// The innermost edit open on this thread; each edit links to the one before.
thread_local NodeLinks::Edit* t_openEdit = nullptr;

} // namespace

NodeLinks::Edit::Edit(Attribute& attribute)
    : m_attribute(attribute), m_owner(attribute.m_owner), m_hold(attribute) {
    // A hook of an open edit is editing the same attribute: this edit may let
    // go of elements that one has stepped through.
    for (Edit* open = t_openEdit; open != nullptr; open = open->m_outer) {
        if (&open->m_attribute == &attribute) {
            open->pin();
        }
    }
    m_outer = std::exchange(t_openEdit, this);
}

NodeLinks::Edit::~Edit() {
    // Still open while it undoes: the hooks it tells may edit the attribute.
    if (!m_committed) {
        undo();
    }
    t_openEdit = m_outer;
}

void NodeLinks::Edit::pin() {
    if (m_settled) {
        return;
    }
    while (m_pinned.size() < taken()) {
        m_pinned.emplace_back(stepAt(m_pinned.size()).element);
    }
}

void NodeLinks::Edit::link(Node& element, std::size_t index) {
    m_owner->addElement(element, index, m_attribute);
    std::size_t const links = element.m_owners.size();
    try {
        element.addOwner(*m_owner, m_attribute);
    } catch (...) {
        NodeInternals::dropLinkAddedBy(element, *m_owner, m_attribute, links);
        try {
            m_owner->removeElement(element, index, m_attribute);
        } catch (...) {
            reportIgnoredFailure("removeElement");
        }
        throw;
    }
}

void NodeLinks::Edit::enter(Node& element, std::size_t index) {
    if (m_owner != nullptr) {
        link(element, index);
    }
    m_steps.push_back(Step{&element, index, true});
}

void NodeLinks::Edit::enterNext() {
    std::size_t const i = m_run.first + m_run.taken;
    if (m_owner != nullptr) {
        link(*m_run.at(m_run.base, i), i);
    }
    ++m_run.taken;
}

void NodeLinks::Edit::leave(Node& element, std::size_t index) {
    // Journalled before the hook runs, so an edit the hook makes holds it.
    m_steps.push_back(Step{&element, index, false});
    if (m_owner != nullptr) {
        try {
            m_owner->removeElement(element, index, m_attribute);
        } catch (...) {
            m_steps.pop_back();
            throw;
        }
    }
}

void NodeLinks::Edit::leaveNext() {
    std::size_t const i = m_run.taken++;
    if (m_owner != nullptr) {
        try {
            m_owner->removeElement(*stepAt(i).element, m_run.first + i, m_attribute);
        } catch (...) {
            --m_run.taken;
            throw;
        }
    }
}

void NodeLinks::Edit::commit() noexcept {
    m_committed = true;
    if (m_owner != nullptr && !(m_run.active && m_run.entered)) {
        // A removeOwner hook may edit the attribute: each step is read afresh.
        for (std::size_t i = 0; i < taken(); ++i) {
            Step const step = stepAt(i);
            if (!step.entered) {
                NodeInternals::unlinkOwner(*step.element, *m_owner, m_attribute);
            }
        }
    }
    m_settled = true;
}

void NodeLinks::Edit::undo(bool enteredOnly) noexcept {
    if (m_owner == nullptr) {
        return;
    }
    for (std::size_t i = taken(); i-- > 0;) {
        Step const step = stepAt(i);
        if (enteredOnly && !step.entered) {
            continue;
        }
        try {
            if (step.entered) {
                NodeInternals::unlinkOwner(*step.element, *m_owner, m_attribute);
                m_owner->removeElement(*step.element, step.index, m_attribute);
            } else {
                m_owner->addElement(*step.element, step.index, m_attribute);
            }
        } catch (...) {
            reportIgnoredFailure(step.entered ? "removeElement" : "addElement");
        }
    }
}

} // namespace Norv::Tavel::detail
