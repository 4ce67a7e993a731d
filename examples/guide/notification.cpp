// Guide, chapter "Notification and batching": what subscribers hear, and
// how InhibitUpdate turns many changes into one report.

#include <tavel/tavel.h>

#include <boost/make_shared.hpp>

#include <stdexcept>
#include <vector>

#include "GuideCheck.h"

using namespace Norv::Tavel;
using norv::basalt::Ref;

int main() {
    auto registry = boost::make_shared<Registry>();
    Ref<CustomNode> node = CustomNode::create(registry);
    Attribute& width = node->registerAttribute("width", AT_S_FLOAT);
    Attribute& height = node->registerAttribute("height", AT_S_FLOAT);

    // [notification-subscribe]
    std::vector<ChangeAction> heard;
    norv::basalt::signal::Connection connection = node->subscribeForNodeChangeNotification(
        [&heard](ChangeAction action, Node const&, boost::optional<Attribute const&> attribute) {
            heard.push_back(action); // attribute names the attribute, when there is one
            (void)attribute;
        });
    width.setGeneric(AttributeValue(2.0f)); // CA_VALUE_CHANGED, during the call
    width.setGeneric(AttributeValue(2.0f)); // equal value: nothing
    // [notification-subscribe]
    GUIDE_CHECK(heard == std::vector<ChangeAction>{CA_VALUE_CHANGED});

    // [notification-batch]
    heard.clear();
    {
        InhibitUpdate batch(*node); // holds back the node's reports, and those below it
        width.setGeneric(AttributeValue(3.0f));
        height.setGeneric(AttributeValue(4.0f));
        // nothing heard yet
    } // the scope ends: one CA_UPDATES_RELEASED, with no attribute
    // [notification-batch]
    GUIDE_CHECK(heard == std::vector<ChangeAction>{CA_UPDATES_RELEASED});

    // [notification-hierarchy]
    int hierarchical = 0;
    node->subscribeForHierachicalChangeNotification(
        [&hierarchical](Node const&, boost::optional<Attribute const&> source, bool structure) {
            ++hierarchical; // source: where the change began; structure: references changed
            (void)source;
            (void)structure;
        });
    height.setGeneric(AttributeValue(5.0f)); // node change subscribers first, then this one
    // [notification-hierarchy]
    GUIDE_CHECK(hierarchical == 1);

    // [notification-throw]
    auto thrower = node->subscribeForNodeChangeNotification(
        [](ChangeAction action, Node const&, boost::optional<Attribute const&>) {
            if (action == CA_VALUE_CHANGED) {
                throw std::runtime_error("refused by the host");
            }
        });
    try {
        width.setGeneric(AttributeValue(6.0f));
    } catch (std::runtime_error const&) {
        // the value is 6 all the same: a subscriber hears of a change already made
    }
    thrower.disconnect();
    connection.disconnect();
    // [notification-throw]
    GUIDE_CHECK(*width.getGeneric().get<float>() == 6.0f);
    GUIDE_CHECK(!connection.isConnected());
    return guide::result();
}
