#include "support/GraphTestSupport.h"
#include "support/OutputCapture.h"

#include <gtest/gtest.h>

#include <QString>

#include <functional>
#include <stdexcept>

namespace Norv::Tavel::testing {
namespace {

using norv::basalt::WeakRef;

std::u16string text(long long number) {
    return QString::number(number).toStdU16String();
}

Connection throwWhenDestroyed(Node& node) {
    return node.subscribeForNodeChangeNotification(
        [](ChangeAction action, Node const&, boost::optional<Attribute const&>) {
            if (action == CA_NODE_DESTROYED) {
                throw std::runtime_error("subscriber failed");
            }
        });
}

TEST(Release, ThrowingDestroyedSubscriberIsReportedWhereNoCallerCanHear) {
    // Each way a last reference goes without a caller to pass an exception to.
    struct Case {
        char const* how;
        std::function<void(Ref<Group>&)> letGo;
    };
    Case const cases[] = {
        {"reference leaves its scope",
         [](Ref<Group>& node) { Ref<Group> const last = std::move(node); }},
        {"reference set to null", [](Ref<Group>& node) { node = nullptr; }},
        {"reference assigned another node", [](Ref<Group>& node) { node = makeGroup("other"); }},
        {"container erases it",
         [](Ref<Group>& node) {
             std::vector<NodeRef> list{std::move(node)};
             list.erase(list.begin());
         }},
        {"single reference lets it go",
         [](Ref<Group>& node) {
             Ref<Group> const owner = makeGroup("owner");
             owner->link.set(std::move(node));
             owner->link.set(NodeRef());
         }},
        {"list reference erases it",
         [](Ref<Group>& node) {
             Ref<Group> const owner = makeGroup("owner");
             owner->items.set(refs({std::move(node)}));
             owner->items.eraseElement(0);
         }},
        {"owner leaves its scope",
         [](Ref<Group>& node) {
             Ref<Group> const owner = makeGroup("owner");
             owner->link.set(std::move(node));
         }},
        {"scope left by another exception",
         [](Ref<Group>& node) {
             try {
                 InhibitUpdate const batch(*node);
                 node = nullptr;
                 throw std::logic_error("host failure");
             } catch (std::logic_error const&) {
             }
         }},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.how);
        CapturedOutput output;
        Ref<Group> node = makeGroup("doomed");
        long long const id = node->getNodeId();
        WeakRef<Group> const watch(node);
        throwWhenDestroyed(*node);
        c.letGo(node);
        EXPECT_TRUE(watch.expired());
        ASSERT_EQ(output.texts.size(), 1u);
        EXPECT_TRUE(output.contains(0, u"node " + text(id) + u" of class "));
        EXPECT_TRUE(output.contains(
            0, QString::fromStdString(Group::getUUID().toString()).toStdU16String()));
        EXPECT_TRUE(output.contains(0, u"subscriber failed"));
    }

    // reset() passes the first exception on once both nodes are gone; the
    // second one, which nobody can hear of, is reported.
    CapturedOutput output;
    Ref<Group> owner = makeGroup("owner");
    Ref<Group> child = makeGroup("child");
    long long const childId = child->getNodeId();
    WeakRef<Group> const watchChild(child);
    throwWhenDestroyed(*owner);
    throwWhenDestroyed(*child);
    owner->link.set(std::move(child));
    EXPECT_THROW(owner.reset(), std::runtime_error);
    EXPECT_TRUE(watchChild.expired());
    ASSERT_EQ(output.texts.size(), 1u);
    EXPECT_TRUE(output.contains(0, u"node " + text(childId) + u" "));
}

} // namespace
} // namespace Norv::Tavel::testing
