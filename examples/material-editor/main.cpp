// tavel_material_editor: the library as a material editor uses it. It
// registers its node classes, builds a small scene, edits it from text as a
// property panel does, copies, compares and assigns it, keeps a second view
// of a material in step, and prints what it hears and sees along the way.
// `--help` lists the options; `--svg FILE` draws the scene with Graphviz.

#include "SceneClasses.h"

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace MaterialEditor;

namespace {

struct Options {
    QString svgFile;
    QString dotFile;
    bool types = false;
};

void printHelp(std::FILE* to) {
    std::fprintf(to,
                 "usage: tavel_material_editor [options]\n"
                 "  --svg FILE   also draw the scene as SVG (needs Graphviz's dot)\n"
                 "  --dot FILE   also write the scene as Graphviz DOT text ('-': standard output)\n"
                 "  --types      also list the attribute kinds and editor controls\n"
                 "  --help       show this help\n");
}

// Text of a value as the panel shows it.
std::string text(Attribute const& attribute) {
    return Utilities::convertAttributeValueToStdString(attribute, ' ', ';', 'g', 6);
}

std::string nameOf(Node const& node) {
    // The lookup by name is offered on mutable nodes only.
    auto name = const_cast<Node&>(node).getAttribute("name");
    return name ? text(*name) : std::string("?");
}

char const* actionName(ChangeAction action) {
    switch (action) {
    case CA_VALUE_CHANGED:
        return "value changed";
    case CA_UPDATES_RELEASED:
        return "updates released";
    case CA_ATTRIBUTE_ADDED:
        return "attribute added";
    case CA_ATTRIBUTE_REMOVED:
        return "attribute removed";
    case CA_NODE_DESTROYED:
        return "node destroyed";
    default:
        return "other change";
    }
}

void heading(char const* title) {
    std::printf("\n== %s\n", title);
}

// The notifications heard since they were last printed. Subscribers only
// note them: they arrive in the middle of the edits that cause them.
std::vector<std::string> heard;

void printHeard() {
    for (std::string const& line : heard) {
        std::printf("      heard by %s\n", line.c_str());
    }
    heard.clear();
}

Mesh& meshOf(NodeRef const& node) {
    return static_cast<Mesh&>(*node);
}

// A property panel: fields named "node.attribute" that take text. The host
// knows its scene: meshes in the root's list, materials behind the meshes.
class PropertyPanel {
public:
    explicit PropertyPanel(Scene const& scene) {
        for (NodeRef const& mesh : scene.meshes.get()) {
            m_nodes[nameOf(*mesh)] = mesh;
            if (NodeRef material = meshOf(mesh).material.get()) {
                m_nodes[nameOf(*material)] = material;
            }
        }
    }

    // What the panel does when the user leaves a field.
    void edit(std::string const& node, char const* attribute, char const* entered) {
        Attribute& field = *m_nodes.at(node)->getAttribute(attribute);
        bool const accepted =
            Utilities::setAttributeFromString(field, std::string(entered), ' ', ';');
        std::printf("    %-17s <- %-24s %s %s\n", (node + "." + attribute).c_str(),
                    ("\"" + std::string(entered) + "\"").c_str(),
                    accepted ? "now" : "refused, still", text(field).c_str());
        printHeard();
    }

private:
    std::map<std::string, NodeRef> m_nodes;
};

Ref<Mesh> makeMesh(boost::shared_ptr<Registry> const& registry, char const* name,
                   std::vector<Vec3f> vertices, NodeRef const& material) {
    auto* const body = new MeshBody;
    body->vertices = std::move(vertices);
    Ref<Mesh> const mesh = Mesh::create(registry, body, new MeshPlacement);
    mesh->name.set(QString::fromUtf8(name));
    mesh->material.set(material);
    return mesh;
}

Ref<Material> makeMaterial(boost::shared_ptr<Registry> const& registry, char const* name,
                           Vec3f colour) {
    // Made by class name, as a host loading a file would.
    Ref<Node> const node = Factory::get()->createByName(registry, "Material", EMPTY_NODE_ID);
    Ref<Material> const material = norv::basalt::static_ref_cast<Material>(node);
    material->name.set(QString::fromUtf8(name));
    material->colour.set(colour);
    return material;
}

void printDump(Ref<Node> const& node, QStringList const& names) {
    QString const dump = Utilities::dump(node, names);
    for (QString const& line : dump.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        std::printf("  %s\n", line.toUtf8().constData());
    }
}

void printVocabulary() {
    heading("Attribute kinds and editor controls (--types)");
    for (int number = 0; number < AT_INVALID_TYPE; number += 2) {
        auto const left = static_cast<AttributeType>(number);
        auto const right = static_cast<AttributeType>(number + 1);
        std::printf("  %2d %-15s %-16s %2d %-15s %s\n", number,
                    Utilities::AttributeTypeToSystemName(left).c_str(),
                    qPrintable(Utilities::AttributeTypeToString(left)), number + 1,
                    Utilities::AttributeTypeToSystemName(right).c_str(),
                    qPrintable(Utilities::AttributeTypeToString(right)));
    }
    std::printf("  controls:");
    for (int number = 0; number <= gt_btf_filename; ++number) {
        std::printf("%s%s", number % 6 == 0 ? "\n    " : " ",
                    qPrintable(Utilities::GUIControlTypeToString(GUIControlType(number))));
    }
    std::printf("\n");
}

// Writes the scene's DOT text to a file, or through dot as SVG. False (with
// the reason printed) when that could not be done.
bool writeGraph(Ref<Node> const& scene, Options const& options) {
    QByteArray const dot = Utilities::dumpGraphviz(scene).toUtf8();
    bool done = true;
    if (options.dotFile == QLatin1String("-")) {
        std::fwrite(dot.constData(), 1, std::size_t(dot.size()), stdout);
    } else if (!options.dotFile.isEmpty()) {
        QFile file(options.dotFile);
        done = file.open(QIODevice::WriteOnly) && file.write(dot) == dot.size();
        std::printf("  %s %s\n", done ? "wrote the DOT text to" : "could not write",
                    qPrintable(options.dotFile));
    }
    if (options.svgFile.isEmpty()) {
        if (options.dotFile.isEmpty()) {
            std::printf("  tools/demo --svg scene.svg draws it (--dot FILE writes the DOT text)\n");
        }
        return done;
    }
    QString const program = QStandardPaths::findExecutable(QStringLiteral("dot"));
    if (program.isEmpty()) {
        std::printf(
            "  Graphviz's dot is not installed, so no SVG was written. Install it with\n"
            "    sudo apt-get install graphviz     (or: tools/install-deps --with-extras)\n");
        return false;
    }
    QProcess process;
    process.start(program, {QStringLiteral("-Tsvg"), QStringLiteral("-o"), options.svgFile});
    process.write(dot);
    process.closeWriteChannel();
    bool const drawn = process.waitForFinished(60000) &&
                       process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    std::printf("  %s %s\n", drawn ? "drew the scene into" : "dot failed to write",
                qPrintable(options.svgFile));
    if (!drawn) {
        std::printf("%s", process.readAllStandardError().constData());
    }
    return done && drawn;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        bool const hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printHelp(stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--svg") == 0 && hasValue) {
            options.svgFile = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--dot") == 0 && hasValue) {
            options.dotFile = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--types") == 0) {
            options.types = true;
        } else {
            std::fprintf(stderr, "tavel_material_editor: unknown option or missing value: %s\n",
                         argv[i]);
            printHelp(stderr);
            return 2;
        }
    }

    std::printf("Tavel material editor: a small scene, edited as a property panel would.\n");
    if (options.types) {
        printVocabulary();
    }

    heading("Classes, registered with the factory");
    Material::registerInFactory(QStringLiteral("Material"));
    Mesh::registerInFactory(QStringLiteral("Mesh"));
    Scene::registerInFactory(QStringLiteral("Scene"));
    auto const registry = boost::make_shared<Registry>();
    bool graphWritten = true;
    {
        for (char const* className : {"Material", "Mesh", "Scene"}) {
            Ref<Node> const sample =
                Factory::get()->createByName(registry, className, EMPTY_NODE_ID);
            std::printf("  %-9s", className);
            for (Attribute const& attribute : *sample) {
                std::printf(
                    " %s:%s", qPrintable(attribute.getAttributeName()),
                    qPrintable(Utilities::AttributeTypeToString(attribute.getAttributeType())));
            }
            std::printf("\n");
        }

        // The scene: steel is shared by both chairs. The chair placed twice
        // enters the second time as a new instance of its body, starting
        // with the first one's name, transform and material.
        Ref<Material> const steel = makeMaterial(registry, "steel", Vec3f(0.55f, 0.56f, 0.58f));
        Ref<Material> const oak = makeMaterial(registry, "oak", Vec3f(0.65f, 0.45f, 0.25f));
        Ref<Mesh> const table = makeMesh(registry, "table", {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}}, oak);
        Ref<Mesh> const chair = makeMesh(registry, "chair", {{0, 0, 0}, {1, 0, 0}}, steel);
        Ref<Scene> const scene = Scene::create(registry);
        scene->name.set(QStringLiteral("studio"));
        for (Ref<Mesh> const& mesh : {table, chair, chair}) {
            scene->meshes.insertElement(mesh, Scene::END);
        }
        Mesh& chair2 = meshOf(scene->meshes.getElement(2));
        chair2.name.set(QStringLiteral("chair 2"));

        heading("Scene before the edits (dump, restricted to a few fields)");
        QStringList const shown{QStringLiteral("meshes"), QStringLiteral("transform"),
                                QStringLiteral("material"), QStringLiteral("roughness")};
        printDump(scene, shown);
        std::printf("  steel is referenced %zu times; chair and chair 2 share body #%lld (%zu "
                    "vertices)\n",
                    steel->getNumberOfOwnerLinks(), chair2.getSharedNodeId(),
                    chair2.vertices().size());

        // The root hears every change below it; steel hears its own.
        scene->subscribeForHierachicalChangeNotification(
            [](Node const& node, boost::optional<Attribute const&> source, bool structure) {
                heard.push_back(nameOf(node) + " (hierarchy): " +
                                (source ? nameOf(source->getOwner()) + "." +
                                              source->getAttributeName().toStdString()
                                        : std::string("held-back changes below")) +
                                (structure ? ", structure" : ""));
            });
        steel->subscribeForNodeChangeNotification([](ChangeAction action, Node const& node,
                                                     boost::optional<Attribute const&> attribute) {
            heard.push_back(
                nameOf(node) + " (node): " + actionName(action) +
                (attribute ? " " + attribute->getAttributeName().toStdString() : std::string()));
        });

        heading("Property panel edits, with the notifications they cause");
        PropertyPanel panel(*scene);
        std::printf("  one field:\n");
        panel.edit("steel", "roughness", "0.4");
        std::printf("  six fields in one InhibitUpdate batch on the root:\n");
        {
            InhibitUpdate batch(*scene);
            panel.edit("steel", "roughness", "1.7");
            panel.edit("steel", "roughness", "rough");
            panel.edit("steel", "shading", "phong");
            panel.edit("steel", "texture", "textures/brushed steel.png");
            panel.edit("oak", "colour", "0.7 0.5 0.3");
            panel.edit("chair 2", "transform", "1 0 0 0  0 1 0 0  0 0 1 0  1.5 0 0 1");
        }
        std::printf("  the batch ends:\n");
        printHeard();

        heading("Copy, compare, assign back");
        Ref<Node> const copy = scene->copy(registry);
        Scene const& copied = static_cast<Scene&>(*copy);
        Mesh const& copiedChair = meshOf(copied.meshes.get()[1]);
        Mesh const& copiedChair2 = meshOf(copied.meshes.get()[2]);
        std::printf("  copied: the chairs are %s sharing one body: %s, and one material: %s\n",
                    &copiedChair != &copiedChair2 ? "two nodes" : "one node",
                    copiedChair.getSharedStorage() == copiedChair2.getSharedStorage() ? "yes"
                                                                                      : "no",
                    copiedChair.material.get() == copiedChair2.material.get() ? "yes" : "no");
        std::printf("  scene and copy compare %s\n", scene->compare(copy) ? "equal" : "different");
        std::printf("  an edit in the copy:\n");
        PropertyPanel(copied).edit("steel", "roughness", "0.2");
        std::printf("  scene and copy compare %s", scene->compare(copy) ? "equal" : "different");
        CompareTraverser ignoring(scene, copy, 227);
        ignoring.setIgnoreAttributeNames(QStringList{QStringLiteral("roughness")});
        std::printf(", and %s with roughness left out\n",
                    ignoring.compare() ? "equal" : "different");
        // Into the nodes the scene already refers to: they keep their identity.
        std::printf("  the copy assigned back onto the scene, in a batch:\n");
        {
            InhibitUpdate batch(*scene);
            scene->assign(copy);
        }
        printHeard();
        std::printf("  scene and copy compare %s; the scene's steel.roughness is %s\n",
                    scene->compare(copy) ? "equal" : "different", text(steel->roughness).c_str());

        heading("A second view of steel, kept in step by a NodeSynchronizer");
        {
            Ref<Node> const view = steel->copy(registry);
            view->getAttribute("name")->setGeneric(AttributeValue(QStringLiteral("steel view")));
            NodeSynchronizer const inStep(steel, view);
            std::printf("  connected: %s\n", inStep.isConnected() ? "yes" : "no");
            Utilities::setAttributeFromString(*view->getAttribute("colour"),
                                              std::string("0.2 0.3 0.4"), ' ', ';');
            std::printf("  view.colour set to 0.2 0.3 0.4; steel.colour follows: %s\n",
                        text(steel->colour).c_str());
            printHeard();
            // A field a plugin adds to one material at run time: a custom attribute.
            steel->registerAttribute("clearcoat", AT_S_FLOAT, true)
                .setGeneric(AttributeValue(0.3f));
            auto const mirrored = view->getAttribute("clearcoat");
            std::printf("  steel gained a custom field clearcoat = 0.3; the view has it too: %s\n",
                        mirrored ? text(*mirrored).c_str() : "no");
            printHeard();
        }

        heading("Scene after the edits (the same dump)");
        printDump(scene, shown);

        heading("A picture of the graph (Graphviz)");
        graphWritten = writeGraph(scene, options);

        heading("End: the scene released");
    }
    printHeard();
    std::size_t const left = registry->getNumberOfNodes();
    std::printf(
        "  nodes left in the registry: %zu; live nodes %llu, bodies %llu, placements %llu\n", left,
        static_cast<unsigned long long>(Registry::INSTANCE_COUNTER),
        static_cast<unsigned long long>(Registry::SHARED_STORAGE_COUNTER),
        static_cast<unsigned long long>(Registry::INSTANCE_STORAGE_COUNTER));
    bool const clean = left == 0 && Registry::INSTANCE_COUNTER == 0 &&
                       Registry::SHARED_STORAGE_COUNTER == 0 &&
                       Registry::INSTANCE_STORAGE_COUNTER == 0;

    heading("The dangling-node report, on purpose: a registry released before its node");
    {
        std::vector<std::u16string> report;
        auto const previous = norv::basalt::setDebugOutputHandler(
            [&report](std::u16string const& line) { report.push_back(line); });
        Ref<Node> survivor;
        {
            auto const early = boost::make_shared<Registry>();
            survivor = Factory::get()->createByName(early, "Material", EMPTY_NODE_ID);
        } // the registry goes while its node still lives, and says so
        norv::basalt::setDebugOutputHandler(previous);
        for (std::u16string const& line : report) {
            QString written = QString::fromStdU16String(line);
            std::printf("  the registry wrote: \"%s\"\n",
                        qPrintable(written.replace(QLatin1Char('\n'), QLatin1String("\\n"))));
        }
        std::printf("  the node lives on without a registry (%s) until released here\n",
                    survivor->getRegistry() ? "it still has one" : "it has none");
    }
    std::printf("\n%s\n", clean ? "No dangling nodes." : "Nodes were left over.");
    return clean && graphWritten ? 0 : 1;
}
