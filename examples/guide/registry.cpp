// Guide, chapter "The registry": where nodes are found by id, and what
// happens to nodes that outlive their registry.

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include <string>

#include "GuideCheck.h"

using namespace Norv::Tavel;
using norv::basalt::Ref;

namespace {

void findingNodes() {
    // [registry]
    auto registry = boost::make_shared<Registry>(); // always held by a shared pointer
    Ref<CustomNode> node = CustomNode::create(registry);
    long long const id = node->getNodeId();   // drawn from a process-wide counter
    Ref<Node> found = registry->findNode(id); // a new strong reference, or null
    // [registry]
    GUIDE_CHECK(found == node);
    GUIDE_CHECK(registry->getNumberOfNodes() == 1);
    GUIDE_CHECK(registry->isCurrent());
    // [registry-leave]
    node.reset();
    found.reset(); // the last reference: the node is destroyed and leaves its registry
    // registry->findNode(id) is null now
    // [registry-leave]
    GUIDE_CHECK(!registry->findNode(id));
    GUIDE_CHECK(registry->getNumberOfNodes() == 0);
}

void danglingNodes() {
    // [registry-dangling]
    std::u16string report;
    auto const previous = norv::basalt::setDebugOutputHandler(
        [&report](std::u16string const& text) { report += text; });
    Ref<CustomNode> survivor;
    {
        auto shortLived = boost::make_shared<Registry>();
        survivor = CustomNode::create(shortLived);
    } // the registry goes first and lists its nodes: "Dangling nodes:\n", then class names
    // [registry-dangling]
    GUIDE_CHECK(!survivor->getRegistry());
    // [registry-dangling]
    // survivor->getRegistry() is empty; the node works on and is released safely
    survivor->registerAttribute("width", AT_S_FLOAT);
    survivor.reset();
    norv::basalt::setDebugOutputHandler(previous);
    // [registry-dangling]
    GUIDE_CHECK(report.rfind(u"Dangling nodes:\n", 0) == 0);
}

} // namespace

int main() {
    findingNodes();
    danglingNodes();
    return guide::result();
}
