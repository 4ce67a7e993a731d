// Guide, chapter "The graph": node references, owners, changes that climb,
// inhibition down the graph, and cycles.

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include <vector>

#include "GuideCheck.h"

using namespace Norv::Tavel;
using norv::basalt::Ref;

int main() {
    auto registry = boost::make_shared<Registry>();

    // [graph-references]
    Ref<Node> material = CustomNode::create(registry);
    Attribute& roughness = material->registerAttribute("roughness", AT_S_FLOAT);
    Ref<Node> left = CustomNode::create(registry);
    Ref<Node> right = CustomNode::create(registry);
    for (Ref<Node> const& mesh : {left, right}) { // both meshes refer to one material
        mesh->registerAttribute("material", AT_S_NODE_PTR).setGeneric(AttributeValue(material));
    }
    Ref<Node> root = CustomNode::create(registry);
    auto& children = dynamic_cast<MANode&>(root->registerAttribute("children", AT_M_NODE_PTR));
    children.insertElement(left, 0);
    children.insertElement(right, 1);
    // [graph-references]
    GUIDE_CHECK(children.getSize() == 2);

    // [graph-owners]
    material->getNumberOfOwnerLinks();                    // 2: one per reference
    left->findParentOfType(CustomNode::getUUID(), true);  // root: a direct owner
    material->findAnchestorOfType(CustomNode::getUUID()); // left or right, tried first
    // [graph-owners]
    GUIDE_CHECK(material->getNumberOfOwnerLinks() == 2);
    GUIDE_CHECK(left->findParentOfType(CustomNode::getUUID(), true) == root);
    GUIDE_CHECK(material->findAnchestorOfType(CustomNode::getUUID()));

    // [graph-climb]
    int reports = 0;
    root->subscribeForHierachicalChangeNotification(
        [&reports](Node const&, boost::optional<Attribute const&> source, bool) {
            ++reports; // source is the material's roughness
            (void)source;
        });
    roughness.setGeneric(AttributeValue(0.25f)); // reaches root by two paths, reported once
    {
        InhibitUpdate batch(*root); // inhibits everything below root as well
        roughness.setGeneric(AttributeValue(0.5f));
        roughness.setGeneric(AttributeValue(0.75f));
    } // root's hierarchical subscribers hear once more
    // [graph-climb]
    GUIDE_CHECK(reports == 2);

    // [graph-cycle]
    Ref<Node> a = CustomNode::create(registry);
    Ref<Node> b = CustomNode::create(registry);
    a->registerAttribute("next", AT_S_NODE_PTR).setGeneric(AttributeValue(b));
    b->registerAttribute("next", AT_S_NODE_PTR).setGeneric(AttributeValue(a));
    a->registerAttribute("weight", AT_S_FLOAT).setGeneric(AttributeValue(1.0f)); // climbs to b,
    // back to a, and ends there: changes, inhibition, searches and dumps all end on cycles
    b->getAttribute("next")->setGeneric(AttributeValue(NodeRef())); // break the cycle ...
    a.reset();
    b.reset(); // ... or a and b would keep each other alive
    // [graph-cycle]

    // [graph-edits]
    try {
        children.insertElement(NodeRef(), 0); // null elements are refused
    } catch (BadCastException const&) {
        // the list, owner links and inhibit depths are as they were
    }
    children.eraseElements(0, 1); // an inclusive range; indexes past the end erase nothing
    // [graph-edits]
    GUIDE_CHECK(children.getSize() == 0);
    GUIDE_CHECK(material->getNumberOfOwnerLinks() == 2);
    return guide::result();
}
