// Guide, chapter "The factory": node classes entered once, nodes created by
// class name or identifier.

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include "GuideCheck.h"

using namespace Norv::Tavel;
using norv::basalt::Ref;
using norv::basalt::Uuid;

namespace {

// A host class without attributes: the chapter on attributes shows a full one.
class Lamp : public NodeClass<Lamp> {
public:
    static Uuid const& getUUID() {
        static Uuid const id("{0C3A5E71-2B4D-4F69-8A1B-6C7D8E9F0A12}");
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
};

} // namespace

int main() {
    // [factory]
    auto factory = Factory::get();                                 // the process-wide default
    bool const entered = Lamp::registerInFactory("Lamp", factory); // false for a second entry
    auto registry = boost::make_shared<Registry>(); // links the default factory weakly
    Ref<Node> lamp = registry->getFactory()->createByName(registry, "Lamp", EMPTY_NODE_ID);
    Ref<Node> chosen = factory->createByUUID(registry, Lamp::getUUID(), 1000);  // id 1000
    Ref<Node> unknown = factory->createByName(registry, "Lump", EMPTY_NODE_ID); // null
    // [factory]
    GUIDE_CHECK(entered);
    GUIDE_CHECK(!Lamp::registerInFactory("Lamp", factory));
    GUIDE_CHECK(lamp && lamp->getClsId() == Lamp::getUUID());
    GUIDE_CHECK(chosen && chosen->getNodeId() == 1000);
    GUIDE_CHECK(registry->findNode(1000) == chosen);
    GUIDE_CHECK(!unknown);

    // [factory-queries]
    factory->canCreateName("Lamp");           // true
    factory->getNameForUUID(Lamp::getUUID()); // "Lamp"
    factory->getClassNames();                 // one name per class, in identifier order
    // [factory-queries]
    GUIDE_CHECK(factory->canCreateName("Lamp"));
    GUIDE_CHECK(factory->getNameForUUID(Lamp::getUUID()) == "Lamp");
    GUIDE_CHECK(factory->getClassNames().contains("Lamp"));

    // [factory-by-hand]
    factory->registerClass(CustomNode::getUUID(), "CustomNode",
                           [](boost::shared_ptr<Registry> registry, long long id) -> Ref<Node> {
                               Ref<Node> node = CustomNode::create(registry);
                               (void)id; // CustomNode always draws its own id
                               return node;
                           });
    Ref<Node> plain = factory->createByName(registry, "CustomNode", EMPTY_NODE_ID);
    // [factory-by-hand]
    GUIDE_CHECK(plain && plain->getClsId() == CustomNode::getUUID());
    return guide::result();
}
