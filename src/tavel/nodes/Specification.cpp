#include <tavel/nodes/Specification.h>

#include <tavel/types/Exceptions.h>

namespace Norv::Tavel {

AttributeSpecification::AttributeSpecification(QString const& name,
                                               QString const& humanReadableName)
    : name(name), humanReadableName(humanReadableName.isEmpty() ? name : humanReadableName) {}

AttributeSpecification::AttributeSpecification(AttributeSpecification const& other) = default;

Specification::Specification(char const* className)
    : className(className != nullptr ? QString::fromLatin1(className) : QString()) {}

Specification::Specification(Specification const& other) = default;
Specification::~Specification() = default;

void Specification::addInheritFrom(norv::basalt::Uuid const& classId) {
    inheritFrom.push_back(classId);
}

bool Specification::hasAttribute(QString const& name) const {
    auto const& byHash = attributes.get<3>();
    return byHash.find(name) != byHash.end();
}

Specification::OrderedIterator
Specification::findAttributeSpecification(QString const& name) const {
    auto const& byHash = attributes.get<3>();
    auto const found = byHash.find(name);
    return found == byHash.end() ? orderedEnd() : attributes.project<1>(found);
}

Specification::OrderedIterator
Specification::findAttributeSpecification(std::string const& name) const {
    return findAttributeSpecification(QString::fromStdString(name));
}

Specification::OrderedIterator Specification::findAttributeSpecification(char const* name) const {
    return findAttributeSpecification(QString::fromUtf8(name));
}

Specification::OrderedIterator Specification::orderedEnd() const {
    return attributes.get<1>().end();
}

AttributeSpecification const* Specification::findByOffset(long long offset) const {
    auto const& byOffset = attributes.get<2>();
    auto const found = byOffset.lower_bound(offset);
    return found != byOffset.end() && found->offset == offset ? &*found : nullptr;
}

AttributeSpecification const* Specification::findById(long long id) const {
    for (auto const& entry : attributes) {
        if (entry.attributeId == id) {
            return &entry;
        }
    }
    return nullptr;
}

void Specification::removeAttribute(long long offset) {
    destroyCustomAttribute(offset);
}

void Specification::destroyCustomAttribute(long long offset) {
    auto& byOffset = attributes.get<2>();
    auto const found = byOffset.lower_bound(offset);
    if (found == byOffset.end() || found->offset != offset) {
        return;
    }
    if (!found->isCustom()) {
        throw AttributeCannotBeRemovedException("");
    }
    releaseCustomEntry(*found);
}

void Specification::releaseCustomEntry(AttributeSpecification const& entry) {
    // The last use erases the entry.
    if (entry.useCounter <= 1) {
        attributes.erase(attributes.iterator_to(entry));
    } else {
        --entry.useCounter;
    }
}

std::pair<AttributeSpecification*, bool> Specification::insert(QString const& name,
                                                               QString const& humanReadableName) {
    return {new AttributeSpecification(name, humanReadableName), false};
}

} // namespace Norv::Tavel
