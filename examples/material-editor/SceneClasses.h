#pragma once
// The material editor's node classes. A Material is what the property panel
// edits; a Mesh places a body of geometry in the scene and refers to the
// material it is drawn with; a Scene is the root, a list of meshes. The
// instances of one body share its geometry and have a name, transform and
// material each.

#include <tavel/tavel.h>

#include <QStringList>

#include <cstddef>
#include <utility>
#include <vector>

namespace MaterialEditor {

using namespace Norv::Tavel;
using norv::basalt::Ref;
using norv::basalt::Uuid;

class Material : public NodeClass<Material> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{C4E1A7B2-5D3F-4A96-8E0B-7F2D9C1A6B35}");
        return id;
    }

    DataSA<AT_S_STRING> name{this, QString(), gt_text};
    DataSA<AT_S_VEC3> colour{this, Vec3f(0.8f, 0.8f, 0.8f), gt_color};
    DataSAMinMax<AT_S_FLOAT> roughness{this, 0.5f, 0.0f, 1.0f, gt_float};
    DataSA<AT_S_STRING> texture{this, QString(), gt_texture_2d_and_cube_filename};
    DataSAEnum shading{this, QStringList{"unlit", "lambert", "phong", "physical"}, 3, gt_enum};

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, name, ATTR_SERIALIZE, "name", "Name");
        registerFixedAttribute(layout, colour, ATTR_SERIALIZE, "colour", "Colour");
        registerFixedAttribute(layout, roughness, ATTR_SERIALIZE, "roughness", "Roughness");
        registerFixedAttribute(layout, texture, ATTR_SERIALIZE, "texture", "Texture file");
        registerFixedAttribute(layout, shading, ATTR_SERIALIZE, "shading", "Shading model");
        NodeClass::registerAttributes(layout);
    }
};

// The geometry all instances of a mesh share.
struct MeshBody : SharedStorage {
    std::vector<Vec3f> vertices;
};

// What one instance has alone; a new instance starts with the name,
// transform and material of the instance it was asked of.
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
        static Uuid const id("{1F6B8D24-9C3E-4B71-A5D0-E82C4F7A9B16}");
        return id;
    }

    // The node takes both storages, also when making it fails.
    static Ref<Mesh> create(boost::shared_ptr<Registry> registry, SharedStorage* body,
                            InstanceStorage* placement) {
        Ref<Mesh> mesh(new Mesh(std::move(registry), body, placement));
        mesh->registerClassOnce();
        return mesh;
    }

    // Meshes made by name get an empty body of their own.
    static bool registerInFactory(QString const& name) {
        return Factory::get()->registerClass(
            getUUID(), name, [](boost::shared_ptr<Registry> registry, long long) -> Ref<Node> {
                return create(std::move(registry), new MeshBody, new MeshPlacement);
            });
    }

    Ref<Node> createInstance(boost::shared_ptr<Registry> registry) override {
        return create(registry ? std::move(registry) : getRegistry(), new MeshBody,
                      new MeshPlacement);
    }
    Ref<NodeSStorage> createSharedInstance(SharedStorage* body, InstanceStorage*) override {
        return create(getRegistry(), body, new MeshPlacement);
    }

    std::vector<Vec3f> const& vertices() const {
        return static_cast<MeshBody*>(getSharedStorage())->vertices;
    }

    DataSA<AT_S_STRING> name{this, QString(), gt_text};
    DataSA<AT_S_MAT44> transform{this, identity(), gt_none};
    DataSANode<Node> material{this, gt_material_editor};

protected:
    Mesh(boost::shared_ptr<Registry> registry, SharedStorage* body, InstanceStorage* placement)
        : NodeSStorage(std::move(registry), layout(), body, placement, EMPTY_NODE_ID) {}

    static Specification& layout() {
        static Specification layout("Mesh");
        return layout;
    }
    static Mat44f identity() {
        Mat44f one;
        for (int i = 0; i < 4; ++i) {
            one[std::size_t(i)][std::size_t(i)] = 1.0f;
        }
        return one;
    }

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        // Attributes not marked as instance data would belong to the body,
        // which the instances share; these three are each instance's own.
        int const own = ATTR_SERIALIZE | ATTR_INSTANCE_DATA;
        registerFixedAttribute(layout, name, own, "name", "Name");
        registerFixedAttribute(layout, transform, own, "transform", "Transform");
        registerFixedAttribute(layout, material, own, "material", "Material");
        NodeSStorage::registerAttributes(layout);
    }
};

// A list that places instances: a mesh placed once already enters as a new
// instance of its body (Node::getInstancePtr). Copies of a scene are filled
// through insertElement, so instances of one body stay apart in them too.
class InstancingList : public DataMANode<Node> {
public:
    using DataMANode::DataMANode;
    void insertElement(NodeRef const& element, std::size_t index) override {
        DataMANode::insertElement(element ? element->getInstancePtr() : element, index);
    }
};

class Scene : public NodeClass<Scene> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{6A3E9C05-D1B7-4F28-93E4-0B5C7D2A8F61}");
        return id;
    }

    // Where insertElement appends.
    static constexpr std::size_t END = static_cast<std::size_t>(-1);

    DataSA<AT_S_STRING> name{this, QString(), gt_text};
    InstancingList meshes{this};

protected:
    using NodeClass::NodeClass;

    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, name, ATTR_SERIALIZE, "name", "Name");
        registerFixedAttribute(layout, meshes, ATTR_SERIALIZE, "meshes", "Meshes");
        NodeClass::registerAttributes(layout);
    }
};

} // namespace MaterialEditor
