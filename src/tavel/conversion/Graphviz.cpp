// The node hierarchy as a Graphviz DOT graph. Like the dump, the walk keeps
// its own stack instead of recursing, so chains of any depth are drawn; each
// node is drawn once however many references reach it, and a reference back
// to a node still on the current path is drawn as a back edge, which also
// ends the walk on cycles.

#include <tavel/conversion/Utilities.h>

#include <tavel/attributes/AttributeBase.h>
#include <tavel/nodes/Node.h>
#include <tavel/registry/Factory.h>
#include <tavel/registry/NodeSStorage.h>

#include <cstddef>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Norv::Tavel::Utilities {

namespace {

using norv::basalt::ConstRef;

// Text inside a quoted DOT string. Quotes and backslashes are escaped, line
// breaks become DOT's "\n"; other control characters, non-characters and
// lone surrogates become U+FFFD, so any name gives valid UTF-8 that `dot`
// and the SVG it writes accept.
void appendEscaped(QString& out, QString const& text) {
    qsizetype const length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        QChar const c = text.at(i);
        ushort const code = c.unicode();
        if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
            out += QLatin1Char('\\');
            out += c;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\r')) {
            // "\r\n" is one line break; "\r" alone is one too.
            if (i + 1 < length && text.at(i + 1) == QLatin1Char('\n')) {
                ++i;
            }
            out += QLatin1String("\\n");
        } else if (c.isHighSurrogate() && i + 1 < length && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
        } else if (code < 0x20 || code == 0x7F || c.isSurrogate() || c.isNonCharacter()) {
            out += QChar(0xFFFD);
        } else {
            out += c;
        }
    }
}

// The name the dump gives a node: its "name" attribute (strings as they
// are, other kinds as their value text), else "NO_NAME".
QString displayName(Node const& node) {
    // The lookup by name only reads, but is offered on mutable nodes alone.
    boost::optional<Attribute&> name = const_cast<Node&>(node).getAttribute(QStringLiteral("name"));
    if (!name) {
        return QStringLiteral("NO_NAME");
    }
    AttributeValue const value = name->getGeneric();
    if (QString const* text = value.get<QString>()) {
        return *text;
    }
    return convertAttributeValueToString(*name, QLatin1Char(' '), QLatin1Char(';'), 'g', 6);
}

struct Edge {
    ConstRef<Node> target;
    QString label;
};

// A node being drawn: its references, read once when it is entered (the
// references hold the targets alive), and the next one to follow.
struct Frame {
    int number;
    std::vector<Edge> edges;
    std::size_t next;
};

class GraphWriter {
public:
    QString run(ConstRef<Node> root) {
        m_text = QStringLiteral("digraph tavel {\n  node [shape=box];\n");
        if (root) {
            enter(*root);
        }
        while (!m_frames.empty()) {
            Frame& frame = m_frames.back();
            if (frame.next == frame.edges.size()) {
                m_state[m_nodes[std::size_t(frame.number)].get()].open = false;
                m_frames.pop_back();
                continue;
            }
            // Moved out before enter() may grow m_frames and move `frame`.
            Edge edge = std::move(frame.edges[frame.next++]);
            int const from = frame.number;
            auto const seen = m_state.find(edge.target.get());
            bool const back = seen != m_state.end() && seen->second.open;
            int const to = seen != m_state.end() ? seen->second.number : enter(*edge.target);
            appendEdge(from, to, edge.label, back);
        }
        m_text += QLatin1String("}\n");
        return std::move(m_text);
    }

private:
    struct State {
        int number;
        bool open;
    };

    // Draws the node's box and opens it: its references are followed next.
    int enter(Node const& node) {
        int const number = int(m_nodes.size());
        m_nodes.emplace_back(&node);
        m_state.emplace(&node, State{number, true});

        m_text += QLatin1String("  n");
        m_text += QString::number(number);
        // Each piece is escaped on its own: a name ending in "\r" must not
        // swallow the line break that follows it.
        m_text += QLatin1String(" [label=\"");
        appendEscaped(m_text, displayName(node));
        m_text += QLatin1String("\\n");
        QString const className = m_factory->getNameForUUID(node.getClsId());
        appendEscaped(m_text, className.isEmpty()
                                  ? QString::fromStdString(node.getClsId().toString())
                                  : className);
        m_text += QLatin1String(" #");
        m_text += QString::number(node.getNodeId());
        if (auto const* shared = dynamic_cast<NodeSStorage const*>(&node)) {
            m_text += QLatin1String("\\nshared #");
            m_text += QString::number(shared->getSharedNodeId());
        }
        m_text += QLatin1String("\"];\n");

        m_frames.push_back({number, referencesOf(node), 0});
        return number;
    }

    void appendEdge(int from, int to, QString const& label, bool back) {
        m_text += QLatin1String("  n");
        m_text += QString::number(from);
        m_text += QLatin1String(" -> n");
        m_text += QString::number(to);
        m_text += QLatin1String(" [label=\"");
        appendEscaped(m_text, label);
        m_text += QLatin1Char('"');
        // A back edge closes a cycle; it is kept out of the ranking so the
        // rest still reads top-down.
        if (back) {
            m_text += QLatin1String(", style=dashed, constraint=false");
        }
        m_text += QLatin1String("];\n");
    }

    // The node's references in attribute order, labelled with their path
    // ("material", "meshes[2]"); empty references and entries are left out.
    static std::vector<Edge> referencesOf(Node const& node) {
        std::vector<Edge> edges;
        for (Attribute const& attribute : node) {
            switch (attribute.getAttributeType()) {
            case AT_S_NODE_PTR: {
                auto const* single =
                    dynamic_cast<AttributeBase<SingleAttributeBase<AT_S_NODE_PTR>> const*>(
                        &attribute);
                if (NodeRef target = single != nullptr ? single->get() : NodeRef()) {
                    edges.push_back({std::move(target), attribute.getAttributeName()});
                }
                break;
            }
            case AT_M_NODE_PTR: {
                auto const* list =
                    dynamic_cast<AttributeBase<MultiAttributeBase<AT_M_NODE_PTR>> const*>(
                        &attribute);
                if (list == nullptr) {
                    break;
                }
                std::vector<NodeRef> const entries = list->get();
                for (std::size_t i = 0; i < entries.size(); ++i) {
                    if (entries[i]) {
                        edges.push_back(
                            {entries[i], attribute.getAttributeName() + QLatin1Char('[') +
                                             QString::number(qulonglong(i)) + QLatin1Char(']')});
                    }
                }
                break;
            }
            default:
                break;
            }
        }
        return edges;
    }

    boost::shared_ptr<Factory> const m_factory = Factory::get();
    std::vector<Frame> m_frames;
    // Drawn nodes by address; their numbers name them in the graph (node ids
    // need not be unique). Held until the end, so no address is reused.
    std::unordered_map<Node const*, State> m_state;
    std::vector<ConstRef<Node>> m_nodes;
    QString m_text;
};

} // namespace

QString dumpGraphviz(ConstRef<Node> node) {
    return GraphWriter().run(std::move(node));
}

} // namespace Norv::Tavel::Utilities
