// Guide, chapter "Text, streams and dumps": values as text for property
// panels, byte records for files, and a readable listing of a hierarchy.

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include <sstream>
#include <string>

#include "GuideCheck.h"

using namespace Norv::Tavel;
using norv::basalt::Ref;

int main() {
    auto registry = boost::make_shared<Registry>();
    Ref<Node> mesh = CustomNode::create(registry);
    mesh->registerAttribute("name", AT_S_STRING).setGeneric(AttributeValue(QString("teapot")));
    Attribute& size = mesh->registerAttribute("size", AT_S_VEC3);
    Attribute& scale = mesh->registerAttribute("scale", AT_S_FLOAT, /*withMinMax=*/true);

    // [text-values]
    Utilities::setAttributeFromString(size, "1 2 3", ' ', ';');       // true: one set, one report
    Utilities::setAttributeFromString(size, "1 2 x", ' ', ';');       // false: nothing stored
    Utilities::convertAttributeValueToString(size, ' ', ';', 'g', 6); // "1 2 3"
    Utilities::setAttributeFromString(scale, "0.1", ' ', ';');
    Utilities::convertAttributeValueToString(scale, ' ', ';', 'g', 9); // "0.100000001": exact
    // [text-values]
    GUIDE_CHECK(Utilities::setAttributeFromString(size, "1 2 3", ' ', ';'));
    GUIDE_CHECK(!Utilities::setAttributeFromString(size, "1 2 x", ' ', ';'));
    GUIDE_CHECK(Utilities::convertAttributeValueToString(size, ' ', ';', 'g', 6) == "1 2 3");
    GUIDE_CHECK(Utilities::convertAttributeValueToString(scale, ' ', ';', 'g', 9) == "0.100000001");

    // [text-names]
    Utilities::AttributeTypeToString(AT_S_FLOAT);     // "SingleFloat"
    Utilities::AttributeTypeToSystemName(AT_S_FLOAT); // "AT_S_FLOAT"
    Utilities::StringToAttributeType("Nonsense");     // AT_INVALID_TYPE: never throws
    Utilities::validateAttributeName("2nd");          // false: a name starts with a letter or _
    // [text-names]
    GUIDE_CHECK(Utilities::AttributeTypeToString(AT_S_FLOAT) == "SingleFloat");
    GUIDE_CHECK(Utilities::StringToAttributeType("Nonsense") == AT_INVALID_TYPE);
    GUIDE_CHECK(!Utilities::validateAttributeName("2nd"));

    // [text-stream]
    std::stringstream file;
    serializeAttribute(file, scale); // minimum, maximum, value: 4 bytes each, little-endian
    Ref<Node> other = CustomNode::create(registry);
    Attribute& read = other->registerAttribute("scale", AT_S_FLOAT, true);
    deserializeAttribute(file, read); // a record of the same kind and range property
    // a short stream stores nothing and leaves the stream failed
    // [text-stream]
    GUIDE_CHECK(file.good());
    GUIDE_CHECK(read.compare(scale));

    // [text-dump]
    Factory::get()->registerClass(CustomNode::getUUID(), "CustomNode",
                                  Factory::CreateFunction()); // names the class in dumps
    Ref<Node> root = CustomNode::create(registry);
    root->registerAttribute("children", AT_M_NODE_PTR)
        .setGeneric(AttributeValue(std::vector<NodeRef>{mesh}));
    QString const all = Utilities::dump(root, QStringList());
    QString const sizesOnly = Utilities::dump(root, QStringList{"children", "size"});
    // [text-dump]
    // Node ids are drawn in order in this process: mesh 1, other 2, root 3.
    QString const expected =
        QString("NO_NAME (Class: CustomNode, NetId: -1 InstId: 3, SharedId: -1){\n"
                " children = 1 children\n"
                " [\n"
                "  teapot (Class: CustomNode, NetId: -1 InstId: 1, SharedId: -1)  {\n"
                "   name = teapot\n"
                "   size = 1 2 3\n"
                "   scale = 0.1\n"
                "  }\n"
                " ]\n"
                "}\n");
    GUIDE_CHECK(all == expected);
    GUIDE_CHECK(!sizesOnly.contains("scale"));
    return guide::result();
}
