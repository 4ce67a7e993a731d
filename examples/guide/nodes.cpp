// Guide, chapter "Nodes": creation, references, identity and the end of a node.

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include "GuideCheck.h"

using namespace Norv::Tavel;
using norv::basalt::Ref;

int main() {
    auto registry = boost::make_shared<Registry>();

    // [nodes]
    Ref<CustomNode> node = CustomNode::create(registry); // the first strong reference
    Ref<Node> same = node;                               // counted; copying never allocates
    norv::basalt::WeakRef<Node> watch(node);             // keeps nothing alive
    bool destroyed = false;
    node->subscribeForNodeChangeNotification(
        [&destroyed](ChangeAction action, Node const&, boost::optional<Attribute const&>) {
            destroyed = destroyed || action == CA_NODE_DESTROYED;
        });
    node.reset();
    same.reset(); // the last strong reference: CA_NODE_DESTROYED, then the node is deleted
    // destroyed is true, watch.lock() is null
    // [nodes]
    GUIDE_CHECK(destroyed);
    GUIDE_CHECK(!watch.lock());

    // [nodes-identity]
    Ref<CustomNode> lamp = CustomNode::create(registry);
    lamp->getClsId();                               // CustomNode::getUUID()
    lamp->isDerivedFrom(Node::getUUID());           // true: every class derives from Node
    lamp->getNodeId();                              // unique in the process unless chosen
    Ref<Node> twin = lamp->createInstance(nullptr); // a new, empty node of the same class
    // [nodes-identity]
    GUIDE_CHECK(lamp->getClsId() == CustomNode::getUUID());
    GUIDE_CHECK(lamp->isDerivedFrom(Node::getUUID()));
    GUIDE_CHECK(twin->getClsId() == CustomNode::getUUID());
    GUIDE_CHECK(twin->getRegistry() == registry);
    GUIDE_CHECK(twin->getNodeId() != lamp->getNodeId());
    return guide::result();
}
