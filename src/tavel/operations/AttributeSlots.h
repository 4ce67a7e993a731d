#pragma once
// The attributes of a node as a walk saw them when it entered the node. A walk
// calls out (setters notify, hooks run) between two attributes, and a callee
// may remove custom attributes, which would leave an iterator dangling: so the
// walk notes each attribute once and finds it again before every use.

#include <tavel/attributes/Attribute.h>
#include <tavel/nodes/Node.h>

#include <vector>

namespace Norv::Tavel::detail {

struct AttributeSlot {
    // A fixed attribute lives as long as its node, which the walk holds.
    Attribute* fixed;
    // A custom attribute is found again by its id; gone means removed.
    long long customId;
    // As the attribute said when it was noted.
    bool custom;
    bool instanceData;

    Attribute* resolve(Node& node) const {
        if (fixed != nullptr) {
            return fixed;
        }
        boost::optional<Attribute&> const found = node.getAttributeByID(customId);
        return found ? found.get_ptr() : nullptr;
    }
};

// Appends the attributes `node` carries, in sequence order. The flags are
// read from the class's entries, which the iterator visits in step: every
// fixed entry, and the custom entries this node carries.
inline void noteAttributes(Node& node, std::vector<AttributeSlot>& noted) {
    SequencedIterator at = node.begin();
    SequencedIterator const end = node.end();
    for (AttributeSpecification const& entry : node.getSpecification().attributes) {
        if (at == end) {
            break;
        }
        bool const custom = entry.isCustom();
        if (custom && !node.getAttributeByID(entry.attributeId)) {
            continue;
        }
        noted.push_back(
            {custom ? nullptr : &*at, custom ? entry.attributeId : 0, custom, entry.flags.test(2)});
        ++at;
    }
}

inline void setIgnoreList(QSet<QString>& set, QStringList const& list, int& flags, int bit) {
    set.clear();
    for (QString const& entry : list) {
        set.insert(entry);
    }
    flags = set.isEmpty() ? flags & ~bit : flags | bit;
}

inline void setIgnoreList(QSet<QString>& set, std::vector<std::string> const& list, int& flags,
                          int bit) {
    set.clear();
    for (std::string const& entry : list) {
        set.insert(QString::fromStdString(entry));
    }
    flags = set.isEmpty() ? flags & ~bit : flags | bit;
}

// The path of an attribute named `name` below the path `top`.
inline QString childPath(QString const& top, QString const& name) {
    return top.isEmpty() ? name : top + QLatin1Char('/') + name;
}

inline QString elementPath(QString const& list, std::size_t index) {
    return list + QStringLiteral("[%1]").arg(static_cast<qulonglong>(index));
}

} // namespace Norv::Tavel::detail
