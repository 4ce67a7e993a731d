// The readable listing of a node hierarchy. The walk keeps its own stack of
// pending steps instead of recursing, so chains of any depth are printed
// without exhausting the call stack; the text is appended to one string.

#include <tavel/conversion/Utilities.h>

#include <tavel/attributes/AttributeBase.h>
#include <tavel/nodes/Node.h>
#include <tavel/registry/Factory.h>
#include <tavel/registry/NodeSStorage.h>

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace Norv::Tavel {

namespace Utilities {

namespace {

using norv::basalt::ConstRef;

// One pending piece of the text. The node of an open step stays referenced
// until its closing step has run, which keeps its attributes alive too.
struct Step {
    enum Kind { OpenNode, CloseNode, AttributeLine, CloseList };
    Kind kind;
    ConstRef<Node> node;
    Attribute const* attribute;
    int indent;
    // Spaces written before an opened node's text (list entries).
    int lead;
};

class Dumper {
public:
    explicit Dumper(QStringList const& names) : m_names(names), m_factory(Factory::get()) {}

    QString run(ConstRef<Node> root) {
        m_steps.push_back({Step::OpenNode, std::move(root), nullptr, 0, 0});
        while (!m_steps.empty()) {
            Step step = std::move(m_steps.back());
            m_steps.pop_back();
            switch (step.kind) {
            case Step::OpenNode:
                openNode(step);
                break;
            case Step::CloseNode:
                appendSpaces(step.indent);
                m_text += QLatin1String("}\n");
                m_open.erase(step.node.get());
                break;
            case Step::AttributeLine:
                attributeLine(*step.attribute, step.indent);
                break;
            case Step::CloseList:
                appendSpaces(step.indent);
                m_text += QLatin1String("]\n");
                break;
            }
        }
        return std::move(m_text);
    }

private:
    void appendSpaces(int count) {
        if (m_spaces.size() < count) {
            m_spaces = QString(count * 2, QLatin1Char(' '));
        }
        m_text.append(m_spaces.constData(), count);
    }

    void openNode(Step const& step) {
        appendSpaces(step.lead);
        if (!step.node) {
            m_text += QLatin1String("NULL\n");
            return;
        }
        Node const& node = *step.node;
        appendHeader(node);
        // A node still open further up is a reference cycle: named, not entered.
        if (!m_open.insert(&node).second) {
            m_text += QLatin1String(" <cycle>\n");
            return;
        }
        appendSpaces(step.indent);
        m_text += QLatin1String("{\n");
        m_steps.push_back({Step::CloseNode, step.node, nullptr, step.indent, 0});
        // Pushed last first, so they are printed in order.
        std::size_t const first = m_steps.size();
        for (Attribute const* attribute : attributesOf(node)) {
            m_steps.push_back({Step::AttributeLine, {}, attribute, step.indent + 1, 0});
        }
        std::reverse(m_steps.begin() + std::ptrdiff_t(first), m_steps.end());
    }

    // "name (Class: cls, NetId: -1 InstId: id, SharedId: shared)". Pieces are
    // appended, not substituted with arg(): a '%' in a name stays as it is.
    void appendHeader(Node const& node) {
        if (Attribute const* name = lookup(node, QStringLiteral("name"))) {
            AttributeValue const value = name->getGeneric();
            QString const* text = value.get<QString>();
            m_text += text != nullptr ? *text
                                      : convertAttributeValueToString(*name, QLatin1Char(' '),
                                                                      QLatin1Char(';'), 'g', 6);
        } else {
            m_text += QLatin1String("NO_NAME");
        }
        m_text += QLatin1String(" (Class: ");
        m_text += m_factory->getNameForUUID(node.getClsId());
        m_text += QLatin1String(", NetId: -1 InstId: ");
        m_text += QString::number(node.getNodeId());
        m_text += QLatin1String(", SharedId: ");
        auto const* shared = dynamic_cast<NodeSStorage const*>(&node);
        m_text += QString::number(shared != nullptr ? shared->getSharedNodeId() : -1LL);
        m_text += QLatin1Char(')');
    }

    void attributeLine(Attribute const& attribute, int indent) {
        appendSpaces(indent);
        m_text += attribute.getAttributeName();
        m_text += QLatin1String(" = ");
        switch (attribute.getAttributeType()) {
        case AT_S_NODE_PTR: {
            auto const* single =
                dynamic_cast<AttributeBase<SingleAttributeBase<AT_S_NODE_PTR>> const*>(&attribute);
            NodeRef target = single != nullptr ? single->get() : NodeRef();
            if (!target) {
                m_text += QLatin1String("NULL\n");
            } else {
                m_steps.push_back({Step::OpenNode, std::move(target), nullptr, indent + 1, 0});
            }
            break;
        }
        case AT_M_NODE_PTR: {
            auto const* list =
                dynamic_cast<AttributeBase<MultiAttributeBase<AT_M_NODE_PTR>> const*>(&attribute);
            std::vector<NodeRef> const entries =
                list != nullptr ? list->get() : std::vector<NodeRef>();
            m_text += QString::number(qulonglong(entries.size()));
            m_text += QLatin1String(" children\n");
            appendSpaces(indent);
            m_text += QLatin1String("[\n");
            m_steps.push_back({Step::CloseList, {}, nullptr, indent, 0});
            for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
                m_steps.push_back({Step::OpenNode, *entry, nullptr, indent + 1, indent + 1});
            }
            break;
        }
        default:
            m_text += convertAttributeValueToString(attribute, QLatin1Char(' '), QLatin1Char(';'),
                                                    'g', 6);
            m_text += QLatin1Char('\n');
        }
    }

    // The node's attributes in sequence order, or those named, in list order.
    std::vector<Attribute const*> attributesOf(Node const& node) const {
        std::vector<Attribute const*> attributes;
        if (m_names.isEmpty()) {
            for (Attribute const& attribute : node) {
                attributes.push_back(&attribute);
            }
            return attributes;
        }
        for (QString const& name : m_names) {
            if (Attribute const* attribute = lookup(node, name)) {
                attributes.push_back(attribute);
            }
        }
        return attributes;
    }

    // The lookup by name only reads, but is offered on mutable nodes alone.
    // The empty name, which it refuses, names no attribute.
    static Attribute const* lookup(Node const& node, QString const& name) {
        if (name.isEmpty()) {
            return nullptr;
        }
        boost::optional<Attribute&> found = const_cast<Node&>(node).getAttribute(name);
        return found ? &*found : nullptr;
    }

    QStringList const& m_names;
    boost::shared_ptr<Factory> const m_factory;
    std::vector<Step> m_steps;
    std::unordered_set<Node const*> m_open;
    QString m_text;
    QString m_spaces;
};

} // namespace

QString dump(ConstRef<Node> node, QStringList const& attributeNames) {
    return Dumper(attributeNames).run(std::move(node));
}

} // namespace Utilities

QStringList initQStringList(QString* items, unsigned int count) {
    QStringList list;
    if (items == nullptr) {
        return list;
    }
    for (unsigned int i = 0; i < count; ++i) {
        list.append(items[i]);
    }
    return list;
}

} // namespace Norv::Tavel
