// Guide, chapter "Operations": copy, compare, assign and keeping two nodes in step.

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include <vector>

#include "GuideCheck.h"

using namespace Norv::Tavel;
using norv::basalt::Ref;

namespace {

// A root with a list of two meshes that share one material.
Ref<Node> makeScene(boost::shared_ptr<Registry> const& registry) {
    Ref<Node> material = CustomNode::create(registry);
    material->registerAttribute("roughness", AT_S_FLOAT).setGeneric(AttributeValue(0.5f));
    material->registerAttribute("label", AT_S_STRING).setGeneric(AttributeValue(QString("steel")));
    std::vector<NodeRef> meshes;
    for (int i = 0; i < 2; ++i) {
        Ref<Node> mesh = CustomNode::create(registry);
        mesh->registerAttribute("material", AT_S_NODE_PTR).setGeneric(AttributeValue(material));
        meshes.push_back(mesh);
    }
    Ref<Node> root = CustomNode::create(registry);
    root->registerAttribute("children", AT_M_NODE_PTR).setGeneric(AttributeValue(meshes));
    return root;
}

NodeRef materialOf(Ref<Node> const& root, std::size_t index) {
    auto& children = dynamic_cast<MANode&>(*root->getAttribute("children"));
    return *children.getElement(index)->getAttribute("material")->getGeneric().get<NodeRef>();
}

} // namespace

int main() {
    auto registry = boost::make_shared<Registry>();
    Ref<Node> scene = makeScene(registry);

    // [operations-copy]
    Ref<Node> copy = scene->copy(registry); // every node reachable from scene, once each
    // the copy's meshes share one copied material, as the scene's do
    copy->compare(scene); // true: same classes, attributes and values throughout
    // [operations-copy]
    GUIDE_CHECK(materialOf(copy, 0) == materialOf(copy, 1));
    GUIDE_CHECK(materialOf(copy, 0) != materialOf(scene, 0));
    GUIDE_CHECK(copy->compare(scene));

    // [operations-assign]
    materialOf(copy, 0)->getAttribute("roughness")->setGeneric(AttributeValue(0.9f));
    scene->compare(copy); // false now
    scene->assign(copy);  // the copy's values into the scene's own nodes, each change notified
    scene->compare(copy); // true again; scene kept its nodes, ids and owners
    // [operations-assign]
    GUIDE_CHECK(scene->compare(copy));
    GUIDE_CHECK(*materialOf(scene, 1)->getAttribute("roughness")->getGeneric().get<float>() ==
                0.9f);

    // [operations-flags]
    Ref<Node> noLabels;
    {
        CopyTraverser copier(scene, CopyTraverser::COPY_CUSTOM_ATTRIBUTES);
        copier.setIgnoreAttributeNames(QStringList{"label"}); // at every depth
        noLabels = copier.apply(registry);
    }
    // noLabels' material has a roughness and no label
    materialOf(copy, 0)->getAttribute("label")->setGeneric(AttributeValue(QString("chrome")));
    CompareTraverser comparer(scene, copy,
                              CompareTraverser::COMPARE_VALUES |
                                  CompareTraverser::COMPARE_CUSTOM_ATTRIBUTES);
    comparer.setIgnorePathList(
        QStringList{"children[0]/material/label", "children[1]/material/label"});
    comparer.compare(); // true: the label is left out on both paths to the material
    // [operations-flags]
    GUIDE_CHECK(!materialOf(noLabels, 0)->getAttribute("label"));
    GUIDE_CHECK(comparer.compare());
    GUIDE_CHECK(!CompareTraverser::compare(scene, copy,
                                           CompareTraverser::COMPARE_VALUES |
                                               CompareTraverser::COMPARE_CUSTOM_ATTRIBUTES));

    // [operations-sync]
    Ref<Node> material = materialOf(scene, 0);
    Ref<Node> view = material->copy(registry);
    {
        NodeSynchronizer inStep(material, view); // holds both weakly
        material->getAttribute("roughness")->setGeneric(AttributeValue(0.2f));
        // view's roughness is 0.2 now; edits of view reach material alike
    } // disconnected when the synchronizer goes
    // [operations-sync]
    GUIDE_CHECK(*view->getAttribute("roughness")->getGeneric().get<float>() == 0.2f);
    return guide::result();
}
