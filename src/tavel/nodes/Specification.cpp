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
    return attributes.get<1>().count(name) != 0;
}

Specification::OrderedIterator
Specification::findAttributeSpecification(QString const& name) const {
    return attributes.get<1>().find(name);
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
    for (auto const& entry : attributes) {
        if (entry.offset == offset) {
            return &entry;
        }
    }
    return nullptr;
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
    auto& sequence = attributes.get<0>();
    for (auto it = sequence.begin(); it != sequence.end(); ++it) {
        if (it->offset != offset) {
            continue;
        }
        if (!it->isCustom()) {
            throw AttributeCannotBeRemovedException("");
        }
        // The last use erases the entry; the count is decided before any
        // change, so the iterator is never read after an erase.
        if (it->useCounter <= 1) {
            sequence.erase(it);
        } else {
            sequence.modify(it, DecUseCounter());
        }
        return;
    }
}

std::pair<AttributeSpecification*, bool> Specification::insert(QString const& name,
                                                               QString const& humanReadableName) {
    return {new AttributeSpecification(name, humanReadableName), false};
}

} // namespace Norv::Tavel
