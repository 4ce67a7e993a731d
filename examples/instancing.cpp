// tavel_instancing: a host's instanced mesh. One body of vertex data is shared
// by two instances in a scene; each instance has a position of its own, a
// per-instance attribute. The second instance is asked of the first once the
// first is placed, and then moved. At the end everything is released and the
// program shows that no node or storage is left.

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include <cstdio>
#include <utility>
#include <vector>

using namespace Norv::Tavel;
using norv::basalt::Ref;
using norv::basalt::Uuid;

namespace {

// What all instances share: the vertices.
struct MeshBody : SharedStorage {
    std::vector<Vec3f> vertices;
};

// What each instance has alone. A new instance takes over the per-instance
// attributes of the one it was made from.
struct MeshPlacement : InstanceStorage {
    void copyChildInstances(InstanceStorage* source) override {
        Node& from = *source->getNode();
        Node& to = *getNode();
        for (auto at = from.begin(AttributeFlags(ATTR_INSTANCE_DATA)); at != from.end(); ++at) {
            to.getAttribute(at->getAttributeName())->setGeneric(at->getGeneric());
        }
    }
};

class Mesh : public NodeSStorage {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{7C2A9E41-3B5D-4F60-9A8B-1C2D3E4F5A6B}");
        return id;
    }

    // The node takes both storages, also when making it fails.
    static Ref<Mesh> create(boost::shared_ptr<Registry> registry, SharedStorage* body,
                            InstanceStorage* placement) {
        Ref<Mesh> mesh(new Mesh(std::move(registry), body, placement));
        mesh->registerClassOnce();
        return mesh;
    }

    Ref<Node> createInstance(boost::shared_ptr<Registry> registry) override {
        return create(registry ? registry : getRegistry(), new MeshBody, new MeshPlacement);
    }
    Ref<NodeSStorage> createSharedInstance(SharedStorage* body, InstanceStorage*) override {
        return create(getRegistry(), body, new MeshPlacement);
    }

    std::vector<Vec3f> const& vertices() const {
        return static_cast<MeshBody*>(getSharedStorage())->vertices;
    }

    DataSA<AT_S_VEC3> position{this, Vec3f(), gt_none};

protected:
    Mesh(boost::shared_ptr<Registry> registry, SharedStorage* body, InstanceStorage* placement)
        : NodeSStorage(std::move(registry), layout(), body, placement, EMPTY_NODE_ID) {}

    static Specification& layout() {
        static Specification layout("Mesh");
        return layout;
    }
    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, position, ATTR_SERIALIZE | ATTR_INSTANCE_DATA, "position",
                               "Position");
        NodeSStorage::registerAttributes(layout);
    }
};

void printMesh(char const* name, Mesh const& mesh) {
    Vec3f const at = mesh.position.get();
    std::printf("  %s: node #%lld, body #%lld (%zu vertices), position (%g, %g, %g)\n", name,
                mesh.getNodeId(), mesh.getSharedNodeId(), mesh.vertices().size(),
                static_cast<double>(at[0]), static_cast<double>(at[1]), static_cast<double>(at[2]));
}

void printLive(char const* when) {
    std::printf("%s: %llu nodes, %llu shared storages, %llu instance storages\n", when,
                static_cast<unsigned long long>(Registry::INSTANCE_COUNTER),
                static_cast<unsigned long long>(Registry::SHARED_STORAGE_COUNTER),
                static_cast<unsigned long long>(Registry::INSTANCE_STORAGE_COUNTER));
}

} // namespace

int main() {
    auto const registry = boost::make_shared<Registry>();
    // Class names for the dump; nothing here is created through the factory.
    Factory::get()->registerClass(Mesh::getUUID(), "Mesh", Factory::CreateFunction());
    Factory::get()->registerClass(CustomNode::getUUID(), "CustomNode", Factory::CreateFunction());
    {
        auto* const body = new MeshBody;
        body->vertices = {Vec3f(0, 0, 0), Vec3f(1, 0, 0), Vec3f(0, 1, 0)};
        Ref<Mesh> const first = Mesh::create(registry, body, new MeshPlacement);
        first->position.set(Vec3f(-2, 0, 0));

        // While nothing refers to it, a node is its own instance.
        Node& firstNode = *first;
        std::printf("unplaced, the instance of the first mesh is %s\n",
                    firstNode.getInstancePtr() == first ? "itself" : "another node");

        Ref<Node> const scene = CustomNode::create(registry);
        Attribute& children = scene->registerAttribute("children", AT_M_NODE_PTR);
        children.setGeneric(AttributeValue(std::vector<NodeRef>{first}));

        // Placed once, asking again gives a new instance of the same body,
        // carrying the first one's position; it is then moved.
        Ref<Mesh> const second = norv::basalt::dynamic_ref_cast<Mesh>(firstNode.getInstancePtr());
        std::printf("placed, the instance is a new node with position (%g, %g, %g)\n",
                    static_cast<double>(second->position.get()[0]),
                    static_cast<double>(second->position.get()[1]),
                    static_cast<double>(second->position.get()[2]));
        second->position.set(Vec3f(2, 0, 0));
        children.setGeneric(AttributeValue(std::vector<NodeRef>{first, second}));

        std::printf("\nscene with two instances of one body:\n");
        printMesh("first ", *first);
        printMesh("second", *second);
        std::printf("  one body object for both: %s\n",
                    first->getSharedStorage() == second->getSharedStorage() ? "yes" : "no");
        std::printf("  body #%lld is used by %zu nodes holding %d strong references\n\n",
                    body->getSharedNodeId(), body->getNodeRefList().size(), body->getRefCount());
        printLive("in use");
        std::printf("\n%s\n", qPrintable(Utilities::dump(scene, {})));
    }
    printLive("released");
    std::printf("dangling nodes in the registry: %zu\n", registry->getNumberOfNodes());
    return registry->getNumberOfNodes() == 0 && Registry::SHARED_STORAGE_COUNTER == 0 &&
                   Registry::INSTANCE_STORAGE_COUNTER == 0
               ? 0
               : 1;
}
