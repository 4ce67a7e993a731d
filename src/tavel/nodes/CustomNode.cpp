#include <tavel/nodes/CustomNode.h>

#include <typeinfo>
#include <utility>

namespace Norv::Tavel {

using norv::basalt::Ref;
using norv::basalt::Uuid;

Uuid const& CustomNode::getUUID() {
    static Uuid const uuid("{40DD2DFE-B43C-4d28-9679-74C53D7E6F04}");
    return uuid;
}

Specification& CustomNode::getClassSpecification() {
    static Specification layout(typeid(CustomNode).name());
    return layout;
}

CustomNode::CustomNode(boost::shared_ptr<Registry> registry, long long id)
    : Node(std::move(registry), getClassSpecification(), id) {
    registerClassOnce();
}

CustomNode::CustomNode(boost::shared_ptr<Registry> registry, Specification& layout,
                       long long id)
    : Node(std::move(registry), layout, id) {}

CustomNode::~CustomNode() = default;

Ref<CustomNode> CustomNode::create(boost::shared_ptr<Registry> registry) {
    return Ref<CustomNode>(new CustomNode(std::move(registry), EMPTY_NODE_ID));
}

Ref<Node> CustomNode::createInstance(boost::shared_ptr<Registry> registry) {
    if (!registry) {
        registry = getRegistry();
    }
    return Ref<Node>(new CustomNode(std::move(registry), EMPTY_NODE_ID));
}

void CustomNode::registerAttributes(Specification& layout) {
    if (!layout.needsRegistration) {
        return;
    }
    layout.addInheritFrom(getUUID());
    Node::registerAttributes(layout);
}

} // namespace Norv::Tavel
