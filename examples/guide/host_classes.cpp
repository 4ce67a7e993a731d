// The host classes of docs/host-node-classes.md: a node class with fixed
// attributes entered in the factory, a class derived from it, the hooks a
// class may override, and a class whose nodes share storage.

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include <stdexcept>
#include <utility>
#include <vector>

#include "GuideCheck.h"

using namespace Norv::Tavel;
using norv::basalt::Ref;
using norv::basalt::Uuid;

namespace {

// [host-class]
class Material : public NodeClass<Material> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{8F0B2D4C-6A1E-4C3B-9D7F-5E2A1B0C9D84}");
        return id;
    }

    // Members, constructed with the node: owner, initial value (and range), control.
    DataSA<AT_S_VEC3> colour{this, Vec3f(0.8f, 0.8f, 0.8f), gt_color};
    DataSAMinMax<AT_S_FLOAT> roughness{this, 0.5f, 0.0f, 1.0f, gt_float};
    DataSA<AT_S_STRING> texture{this, QString(), gt_texture_2d_and_cube_filename};
    DataSAEnum shading{this, QStringList{"lambert", "phong", "pbr"}, 2u, gt_enum};

protected:
    using NodeClass::NodeClass; // the constructors create() and derived classes use

    // Runs once per class, when its first node is made.
    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return; // a derived class's chain has done it already
        }
        layout.addInheritFrom(getUUID()); // the class's own identifier first
        registerFixedAttribute(layout, colour, ATTR_SERIALIZE, "colour", "Colour");
        registerFixedAttribute(layout, roughness, ATTR_SERIALIZE, "roughness", "Roughness");
        registerFixedAttribute(layout, texture, ATTR_SERIALIZE, "texture", "Texture file");
        registerFixedAttribute(layout, shading, ATTR_SERIALIZE, "shading", "Shading model");
        NodeClass::registerAttributes(layout); // then the base chain, which ends it
    }
};
// [host-class]

// [host-derived]
class CarPaint : public NodeClass<CarPaint, Material> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{1D6E3F5A-7B2C-4E8D-A9F0-3C4B5A6D7E81}");
        return id;
    }

    DataSA<AT_S_VEC3> flakeColour{this, Vec3f(), gt_color};

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, flakeColour, ATTR_SERIALIZE, "flakeColour", "Flakes");
        Material::registerAttributes(layout); // the base class's attributes follow
    }
};
// [host-derived]

// [host-hooks]
// A group of materials: its list refuses any other node, and a material may
// belong to one group only.
class MaterialGroup : public NodeClass<MaterialGroup> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{4A9C1E7B-3D5F-4B2A-8C6E-0F1D2E3A4B57}");
        return id;
    }

    DataMANode<Node> materials{this};
    std::vector<long long> log; // what the hooks heard, for the host's own use

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, materials, ATTR_SERIALIZE, "materials", "Materials");
        NodeClass::registerAttributes(layout);
    }

    // Called before the element enters; throwing refuses the whole edit.
    void addElement(Node& element, std::size_t index, Attribute const& attribute) override {
        if (!element.isDerivedFrom(Material::getUUID())) {
            throw std::invalid_argument("a group holds materials only");
        }
        log.push_back(element.getNodeId());
        NodeClass::addElement(element, index, attribute);
    }
    // Called before the element leaves, and to undo an addElement of a refused edit.
    void removeElement(Node& element, std::size_t index, Attribute const& attribute) override {
        log.push_back(-element.getNodeId());
        NodeClass::removeElement(element, index, attribute);
    }
};
// [host-hooks]

// [host-owner]
// A texture that one node at a time may refer to.
class Texture : public NodeClass<Texture> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{6E2B8D0F-1A3C-4D5E-9F7A-2B4C6D8E0A13}");
        return id;
    }

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        NodeClass::registerAttributes(layout);
    }

    bool addOwner(Node const& owner, Attribute const& attribute) override {
        if (getNumberOfOwnerLinks() != 0) {
            throw InvalidOperationException(""); // the edit that asked is undone
        }
        return NodeClass::addOwner(owner, attribute); // records the link: always call it
    }
};
// [host-owner]

// [host-watch]
// A node that keeps a derived value up to date from inside its own change path.
class Panel : public NodeClass<Panel> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{2C7A9E1B-5D3F-4A6C-8B0E-7F1A3C5E9D24}");
        return id;
    }

    DataSA<AT_S_FLOAT> width{this, 1.0f, gt_float};
    DataSA<AT_S_FLOAT> height{this, 1.0f, gt_float};
    float area = 1.0f; // not an attribute: derived from the two above

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, width, ATTR_SERIALIZE, "width", "Width");
        registerFixedAttribute(layout, height, ATTR_SERIALIZE, "height", "Height");
        NodeClass::registerAttributes(layout);
    }

    void postAttributeChange(ChangeAction action, boost::optional<Attribute const&> attribute,
                             boost::optional<Attribute const&> source, bool structureChanged,
                             long long const& incarnation) override {
        area = width.get() * height.get(); // read, don't edit: subscribers have not heard yet
        // The base reports the change; without this call nobody hears of it.
        NodeClass::postAttributeChange(action, attribute, source, structureChanged, incarnation);
    }
};
// [host-watch]

// [host-storage]
// Vertex data all instances of one mesh share, and a placement each has alone.
struct MeshBody : SharedStorage {
    std::vector<Vec3f> vertices;
};
struct MeshPlacement : InstanceStorage {
    // A new instance starts where the one it was made from stands.
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
        static Uuid const id("{9B3D5F7A-2C4E-4F6A-8B1D-0E2F4A6C8E35}");
        return id;
    }

    // The node takes both storages, also when its construction fails.
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

    std::vector<Vec3f>& vertices() { return static_cast<MeshBody*>(getSharedStorage())->vertices; }

    DataSA<AT_S_VEC3> position{this, Vec3f(), gt_none}; // per instance

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
// [host-storage]

void definingAClass(boost::shared_ptr<Registry> const& registry) {
    // [host-use]
    Material::registerInFactory("Material"); // once, at start-up
    CarPaint::registerInFactory("CarPaint");
    Ref<Material> steel = Material::create(registry);
    steel->roughness.set(0.2f);
    Ref<Node> paint = Factory::get()->createByName(registry, "CarPaint", EMPTY_NODE_ID);
    paint->isDerivedFrom(Material::getUUID()); // true
    paint->getAttribute("roughness");          // inherited: colour, roughness, ... flakeColour
    // [host-use]
    GUIDE_CHECK(paint->isDerivedFrom(Material::getUUID()));
    GUIDE_CHECK(paint->getAttribute("roughness") && paint->getAttribute("flakeColour"));
    GUIDE_CHECK(steel->getAttribute("texture")->getGuiControlType() ==
                gt_texture_2d_and_cube_filename);
    GUIDE_CHECK(steel->shading.getAsString() == "pbr");
}

void refusingHooks(boost::shared_ptr<Registry> const& registry) {
    Ref<MaterialGroup> group = MaterialGroup::create(registry);
    Ref<Material> steel = Material::create(registry);
    Ref<Material> glass = Material::create(registry);
    Ref<Panel> panel = Panel::create(registry);
    // [host-refused]
    group->materials.insertElement(steel, 0);
    try {
        group->materials.insertElements({glass, panel}, 1); // the panel is refused ...
    } catch (std::invalid_argument const&) {
        // ... and so is glass: the list, owner links and depths are as before the call
    }
    // group->materials.getSize() == 1, glass->getNumberOfOwnerLinks() == 0
    // [host-refused]
    GUIDE_CHECK(group->materials.getSize() == 1);
    GUIDE_CHECK(glass->getNumberOfOwnerLinks() == 0);
    GUIDE_CHECK(panel->getNumberOfOwnerLinks() == 0);
    // steel entered; glass entered and was undone; the panel never entered.
    GUIDE_CHECK((group->log == std::vector<long long>{steel->getNodeId(), glass->getNodeId(),
                                                      -glass->getNodeId()}));

    Ref<Texture> wood = Texture::create(registry);
    Ref<Node> first = CustomNode::create(registry);
    Ref<Node> second = CustomNode::create(registry);
    Attribute& map = first->registerAttribute("map", AT_S_NODE_PTR);
    Attribute& other = second->registerAttribute("map", AT_S_NODE_PTR);
    map.setGeneric(AttributeValue(NodeRef(wood)));
    bool refused = false;
    try {
        other.setGeneric(AttributeValue(NodeRef(wood)));
    } catch (InvalidOperationException const&) {
        refused = true;
    }
    GUIDE_CHECK(refused);
    GUIDE_CHECK(!*other.getGeneric().get<NodeRef>());
    GUIDE_CHECK(wood->getNumberOfOwnerLinks() == 1);
    map.setGeneric(AttributeValue(NodeRef()));

    panel->width.set(3.0f);
    GUIDE_CHECK(panel->area == 3.0f);
    {
        InhibitUpdate batch(*panel);
        panel->height.set(2.0f);
        GUIDE_CHECK(panel->area == 6.0f); // heard while its subscribers wait
    }
}

void sharedStorage(boost::shared_ptr<Registry> const& registry) {
    // [host-instances]
    auto* body = new MeshBody; // handed to the first node, freed with the last one using it
    body->vertices = {Vec3f(0, 0, 0), Vec3f(1, 0, 0), Vec3f(0, 1, 0)};
    Ref<Mesh> first = Mesh::create(registry, body, new MeshPlacement);
    first->position.set(Vec3f(-2, 0, 0));
    Ref<Node> scene = CustomNode::create(registry);
    scene->registerAttribute("children", AT_M_NODE_PTR)
        .setGeneric(AttributeValue(std::vector<NodeRef>{first}));
    Node& asNode = *first; // getInstancePtr is public on Node
    Ref<Mesh> second = norv::basalt::dynamic_ref_cast<Mesh>(asNode.getInstancePtr());
    // first is referenced, so second is a new node on the same body, at first's position
    // [host-instances]
    GUIDE_CHECK(second && second != first);
    GUIDE_CHECK(second->getSharedStorage() == body);
    GUIDE_CHECK(second->position.get() == Vec3f(-2, 0, 0));
    GUIDE_CHECK(body->getNodeRefList().size() == 2);
    GUIDE_CHECK(second->vertices().size() == 3);
}

} // namespace

int main() {
    auto registry = boost::make_shared<Registry>();
    definingAClass(registry);
    refusingHooks(registry);
    sharedStorage(registry);
    GUIDE_CHECK(registry->getNumberOfNodes() == 0);
    GUIDE_CHECK(Registry::SHARED_STORAGE_COUNTER == 0);
    GUIDE_CHECK(Registry::INSTANCE_STORAGE_COUNTER == 0);
    return guide::result();
}
