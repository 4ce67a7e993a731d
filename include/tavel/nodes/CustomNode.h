#pragma once
// CustomNode, the library's own concrete node class, and NodeClass, the
// template that host node classes with fixed attributes derive from.
//
// A CustomNode has no fixed attributes: all of its attributes are custom ones,
// added by name with Node::registerAttribute. CustomNode::create hands out the
// first strong reference to a new node.
//
// A host node class keeps its attributes as members, names them once in
// registerAttributes, and gets its layout, create, createInstance and
// its factory entry from NodeClass:
//
//   class Lamp : public NodeClass<Lamp> {
//   public:
//       static Uuid const& getUUID();               // the class identifier
//       DataSAMinMax<AT_S_FLOAT> intensity{this, 1.0f, 0.0f, 10.0f, gt_none};
//       DataSA<AT_S_STRING> label{this, QString(), gt_none};
//
//   protected:
//       using NodeClass::NodeClass;                  // (registry, id) and
//                                                    // (registry, layout, id)
//       void registerAttributes(Specification& layout) override {
//           if (!layout.needsRegistration)
//               return;
//           layout.addInheritFrom(getUUID());  // own identifier first,
//           registerFixedAttribute(layout, intensity, ATTR_SERIALIZE,
//                                  "intensity", "Intensity");
//           registerFixedAttribute(layout, label, ATTR_SERIALIZE, "label", "");
//           NodeClass::registerAttributes(layout);  // then the base chain
//       }
//   };
//
//   Lamp::registerInFactory("Lamp");                 // once, e.g. at start-up
//   Ref<Lamp> lamp = Lamp::create(registry);
//
// A class derived from Lamp derives from NodeClass<SpecialLamp, Lamp>; its
// registerAttributes ends with Lamp::registerAttributes. The class's attributes
// are registered when its first node is created; if that fails (a bad or
// duplicate name), create throws and the layout stays as it was.

#include <tavel/Export.h>
#include <tavel/nodes/Node.h>
#include <tavel/registry/Factory.h>

#include <basalt/RefCounting.h>
#include <basalt/Uuid.h>

#include <boost/shared_ptr.hpp>

#include <QString>

#include <typeinfo>
#include <utility>

namespace Norv::Tavel {

// A node class with no fixed attributes, for nodes built from custom ones.
class TAVEL_EXPORT CustomNode : public Node {
public:
    // A new node in `registry` (may be empty) with a fresh id.
    static norv::basalt::Ref<CustomNode> create(boost::shared_ptr<Registry> registry);
    // A new, empty CustomNode in `registry`, or in this node's registry when
    // the pointer is empty. Custom attributes are not copied.
    norv::basalt::Ref<Node> createInstance(boost::shared_ptr<Registry> registry) override;

    static norv::basalt::Uuid const& getUUID();
    // The one layout of the class.
    static Specification& getClassSpecification();

protected:
    // Registers the class's chain when the layout still needs it.
    CustomNode(boost::shared_ptr<Registry> registry, long long id);
    // For derived classes with their own layout: they run their own
    // registration.
    CustomNode(boost::shared_ptr<Registry> registry, Specification& layout, long long id);
    ~CustomNode() override;

    void registerAttributes(Specification& layout) override;
};

// The repeated part of a concrete node class: Derived supplies its members, a
// static getUUID() and registerAttributes (see the example above).
template <class Derived, class Base = Node> class NodeClass : public Base {
public:
    // Made on first use, so nodes may be created from static initialisers.
    static Specification& getClassSpecification() {
        static Specification layout(typeid(Derived).name());
        return layout;
    }

    // A new node in `registry` (may be empty); EMPTY_NODE_ID draws a fresh id.
    static norv::basalt::Ref<Derived> create(boost::shared_ptr<Registry> registry,
                                             long long id = EMPTY_NODE_ID) {
        norv::basalt::Ref<Derived> node(new Derived(std::move(registry), id));
        static_cast<NodeClass&>(*node).registerClassOnce();
        return node;
    }

    // Enters the class into `factory` under `name`; false if the factory
    // already has an entry for the class identifier.
    static bool registerInFactory(QString const& name,
                                  boost::shared_ptr<Factory> const& factory = Factory::get()) {
        return factory->registerClass(
            Derived::getUUID(), name,
            [](boost::shared_ptr<Registry> registry, long long id) -> norv::basalt::Ref<Node> {
                return create(std::move(registry), id);
            });
    }

    norv::basalt::Ref<Node> createInstance(boost::shared_ptr<Registry> registry) override {
        return create(registry ? std::move(registry) : this->getRegistry(), EMPTY_NODE_ID);
    }

protected:
    NodeClass(boost::shared_ptr<Registry> registry, long long id)
        : Base(std::move(registry), getClassSpecification(), id) {}
    // For classes derived from Derived, which bring their own layout.
    NodeClass(boost::shared_ptr<Registry> registry, Specification& layout, long long id)
        : Base(std::move(registry), layout, id) {}
    ~NodeClass() override = default;
};

} // namespace Norv::Tavel
