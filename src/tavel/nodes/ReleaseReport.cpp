// Names a node in the debug-output report of a CA_NODE_DESTROYED subscriber
// (or a preDestroy) that threw where no caller could hear of it: a Ref leaving
// its scope, an assignment, a container or a reference attribute letting go.

#include <tavel/nodes/Node.h>
#include <tavel/registry/Factory.h>

#include <basalt/RefCounting.h>

#include <QString>

#include <string>

namespace Norv::Tavel {

namespace {

// "node 42 of class Lamp {6B1F...}"; the name is the default factory's, left out
// when it knows none. Other objects are left to the generic report.
std::u16string describeNode(norv::basalt::RefCountable const& object) {
    auto const* const node = dynamic_cast<Node const*>(&object);
    if (node == nullptr) {
        return std::u16string();
    }
    norv::basalt::Uuid const classId = node->getClsId();
    QString name;
    if (boost::shared_ptr<Factory> const factory = Factory::get()) {
        name = factory->getNameForUUID(classId);
    }
    // One substitution pass: a class name holding "%2" stays as it is.
    QString const text = QStringLiteral("node %1 of class %2%3")
                             .arg(QString::number(node->getNodeId()),
                                  name.isEmpty() ? QString() : name + QLatin1Char(' '),
                                  QString::fromStdString(classId.toString()));
    return text.toStdU16String();
}

// Installed when the library is loaded, before any node exists; taken away
// again when it is unloaded, unless a host has put its own in place.
struct InstallDescriber {
    InstallDescriber() { norv::basalt::setReleaseDescriber(&describeNode); }
    ~InstallDescriber() {
        auto const current = norv::basalt::setReleaseDescriber(nullptr);
        if (current != &describeNode) {
            norv::basalt::setReleaseDescriber(current);
        }
    }
    InstallDescriber(InstallDescriber const&) = delete;
    InstallDescriber& operator=(InstallDescriber const&) = delete;
} const s_installDescriber;

} // namespace

} // namespace Norv::Tavel
