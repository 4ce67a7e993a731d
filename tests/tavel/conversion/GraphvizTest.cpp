#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSANode.h>
#include <tavel/conversion/Utilities.h>
#include <tavel/nodes/CustomNode.h>

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <string>

namespace Norv::Tavel {
namespace {

using norv::basalt::Ref;
using norv::basalt::Uuid;

class Part : public NodeClass<Part> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{8B1D3F57-6A2C-4E9B-B0D4-2C6E8A0B4D19}");
        return id;
    }

    DataSANode<Node> part{this};
    DataMANode<Node> parts{this};

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, part, ATTR_SERIALIZE, "part", "");
        registerFixedAttribute(layout, parts, ATTR_SERIALIZE, "parts", "");
        NodeClass::registerAttributes(layout);
    }
};

Ref<Part> named(QString const& name, long long id = EMPTY_NODE_ID) {
    Ref<Part> part = Part::create(nullptr, id);
    part->registerAttribute("name", AT_S_STRING).setGeneric(AttributeValue(name));
    return part;
}

std::string graphOf(Ref<Node> const& node) {
    return Utilities::dumpGraphviz(node).toStdString();
}

class GraphvizTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Part::registerInFactory(QStringLiteral("Part \"quoted\"")); }
};

TEST_F(GraphvizTest, NamesAreEscapedIntoValidLabels) {
    struct Row {
        QString name;
        char const* label;
    };
    QChar const loneSurrogate(0xD800);
    Row const rows[] = {
        {QStringLiteral("say \"hi\""), R"(say \"hi\")"},
        {QStringLiteral("C:\\dir\\"), R"(C:\\dir\\)"},
        {QStringLiteral("\\N \\l"), R"(\\N \\l)"},
        {QStringLiteral("two\nlines"), R"(two\nlines)"},
        {QStringLiteral("cr\r\nlf\r"), R"(cr\nlf\n)"},
        {QStringLiteral("tab\tbell\a") + QChar(0) + QChar(0xFFFF),
         "tab\uFFFDbell\uFFFD\uFFFD\uFFFD"},
        {QStringLiteral("lone ") + loneSurrogate + QStringLiteral("!"), "lone \uFFFD!"},
        {QString::fromUtf8("Ünïcødé 名前 🎨 <b>&amp;</b>"), "Ünïcødé 名前 🎨 <b>&amp;</b>"},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(row.label);
        Ref<Part> const part = named(row.name, 5);
        EXPECT_EQ(graphOf(part),
                  std::string("digraph tavel {\n  node [shape=box];\n  n0 [label=\"") + row.label +
                      R"(\nPart \"quoted\" #5"];)" + "\n}\n");
    }

    // A name that is no string prints as its value, a node without one as
    // NO_NAME; an empty node is an empty graph.
    Ref<Part> const numbered = Part::create(nullptr, 6);
    EXPECT_NE(graphOf(numbered).find(R"(label="NO_NAME\nPart)"), std::string::npos);
    numbered->registerAttribute("name", AT_S_VEC3).setGeneric(AttributeValue(Vec3f(1, 2, 3)));
    EXPECT_NE(graphOf(numbered).find(R"(label="1 2 3\nPart)"), std::string::npos);
    EXPECT_EQ(graphOf(nullptr), "digraph tavel {\n  node [shape=box];\n}\n");
}

TEST_F(GraphvizTest, SharedNodesAreDrawnOnceAndCyclesAsBackEdges) {
    // A diamond (root -> left, right -> foot) with the foot listed twice.
    Ref<Part> const root = named(QStringLiteral("root"), 1);
    Ref<Part> const left = named(QStringLiteral("left"), 2);
    Ref<Part> const right = named(QStringLiteral("right"), 3);
    Ref<Part> const foot = named(QStringLiteral("foot"), 4);
    root->parts.set({left, right});
    left->part.set(foot);
    right->parts.set({foot, foot});
    EXPECT_EQ(graphOf(root), R"(digraph tavel {
  node [shape=box];
  n0 [label="root\nPart \"quoted\" #1"];
  n1 [label="left\nPart \"quoted\" #2"];
  n0 -> n1 [label="parts[0]"];
  n2 [label="foot\nPart \"quoted\" #4"];
  n1 -> n2 [label="part"];
  n3 [label="right\nPart \"quoted\" #3"];
  n0 -> n3 [label="parts[1]"];
  n3 -> n2 [label="parts[0]"];
  n3 -> n2 [label="parts[1]"];
}
)");

    // A cycle through custom attributes, and a node referring to itself.
    Ref<Node> const a = CustomNode::create(nullptr);
    Ref<Node> const b = CustomNode::create(nullptr);
    a->registerAttribute("next", AT_S_NODE_PTR).setGeneric(AttributeValue(NodeRef(b)));
    b->registerAttribute("back", AT_M_NODE_PTR)
        .setGeneric(AttributeValue(std::vector<NodeRef>{a, b}));
    std::string const graph = graphOf(a);
    EXPECT_NE(graph.find("  n0 -> n1 [label=\"next\"];\n"), std::string::npos) << graph;
    EXPECT_NE(graph.find("  n1 -> n0 [label=\"back[0]\", style=dashed, constraint=false];\n"),
              std::string::npos)
        << graph;
    EXPECT_NE(graph.find("  n1 -> n1 [label=\"back[1]\", style=dashed, constraint=false];\n"),
              std::string::npos)
        << graph;
    a->removeAllAttributes();
    b->removeAllAttributes();
}

// On the default stack: a walk that recursed per level would overflow here.
TEST_F(GraphvizTest, DeepChainsNeedNoCallStack) {
    int const depth = 100000;
    // Built from the far end, so no change has owners to climb to.
    Ref<Part> root = Part::create(nullptr);
    for (int i = 1; i < depth; ++i) {
        Ref<Part> above = Part::create(nullptr);
        above->part.set(root);
        root = above;
    }
    QString const graph = Utilities::dumpGraphviz(root);
    EXPECT_EQ(graph.count(QStringLiteral(" -> ")), depth - 1);
    EXPECT_EQ(graph.count(QStringLiteral("[label=\"NO_NAME")), depth);
    EXPECT_EQ(graph.count(QStringLiteral("dashed")), 0);
}

TEST_F(GraphvizTest, DotAcceptsNastyNames) {
    QString const dot = QStandardPaths::findExecutable(QStringLiteral("dot"));
    if (dot.isEmpty()) {
        GTEST_SKIP() << "dot is not installed; the escaping is checked above";
    }
    Ref<Part> const root = named(QStringLiteral("\"quoted\" \\ back\\slash \\N\nnew line\r"));
    Ref<Part> const other = named(QString::fromUtf8("Ünïcødé 名前 🎨 <b>&</b> ]; } digraph {") +
                                  QChar(0xD800) + QChar(0) + QChar(0x1B) + QChar(0xFFFE));
    root->parts.set({other, root});
    other->part.set(root);

    QProcess process;
    process.start(dot, {QStringLiteral("-Tsvg")});
    ASSERT_TRUE(process.waitForStarted());
    process.write(Utilities::dumpGraphviz(root).toUtf8());
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(60000));
    QByteArray const errors = process.readAllStandardError();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << errors.constData();
    EXPECT_TRUE(errors.isEmpty()) << errors.constData();
    QString const svg = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(svg.contains(QString::fromUtf8("名前 🎨"))) << svg.toStdString();
    EXPECT_TRUE(svg.contains(QStringLiteral("back\\slash"))) << svg.toStdString();

    root->parts.set({});
    other->part.set(nullptr);
}

} // namespace
} // namespace Norv::Tavel
