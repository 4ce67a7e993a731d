#include <tavel/nodes/Node.h>
#include <tavel/registry/Factory.h>
#include <tavel/registry/Registry.h>

#include <basalt/DebugOutput.h>

#include <QString>

#include <atomic>
#include <string>

namespace Norv::Tavel {

std::uint64_t Registry::INSTANCE_COUNTER = 0;
std::uint64_t Registry::INSTANCE_STORAGE_COUNTER = 0;
std::uint64_t Registry::SHARED_STORAGE_COUNTER = 0;

namespace {

void writeDebugText(QString const& text) {
    static_assert(sizeof(char16_t) == sizeof(QChar));
    std::u16string utf16;
    // A null string may have no buffer at all; it is written as the empty text.
    if (!text.isEmpty())
        utf16.assign(reinterpret_cast<char16_t const*>(text.utf16()),
                     static_cast<std::size_t>(text.size()));
    norv::basalt::outputDebugString(utf16);
}

} // namespace

namespace {

// Registries may be made on any thread.
std::atomic<std::uint64_t> s_lastSerial{0};

} // namespace

Registry::Registry() : m_factory(Factory::get()), m_serial(++s_lastSerial) {
    makeCurrent();
}

Registry::~Registry() {
    // The report is best effort: a throwing output handler must not end the process, and
    // the registry goes away whatever happens to its report.
    try {
        reportDanglingNodes();
    } catch (...) {
    }
}

void Registry::reportDanglingNodes() const {
    if (m_nodes.empty())
        return;
    writeDebugText(QStringLiteral("Dangling nodes:\n"));
    for (auto const& entry : m_nodes) {
        // Names come from the default factory, not from the linked one.
        writeDebugText(Factory::get()->getNameForUUID(entry.second->getClsId()));
    }
}

bool Registry::makeCurrent() {
    if (m_currentThread != boost::thread::id())
        return false;
    m_currentThread = boost::this_thread::get_id();
    return true;
}

bool Registry::removeCurrent() {
    if (m_currentThread == boost::thread::id())
        return true;
    if (m_currentThread != boost::this_thread::get_id())
        return false;
    m_currentThread = boost::thread::id();
    return true;
}

bool Registry::isCurrent() {
    return m_currentThread == boost::this_thread::get_id();
}

void Registry::setFactory(boost::shared_ptr<Factory> factory) {
    m_factory = factory;
}

boost::shared_ptr<Factory> Registry::getFactory() const {
    return m_factory.lock();
}

void Registry::registerNode(Node const& node) {
    m_nodes.emplace(node.getNodeId(), const_cast<Node*>(&node));
}

void Registry::unregisterNode(long long const& id) {
    m_nodes.erase(id);
}

void Registry::unregisterNode(Node const& node) {
    auto const found = m_nodes.find(node.getNodeId());
    if (found != m_nodes.end() && found->second == &node)
        m_nodes.erase(found);
}

norv::basalt::Ref<Node> Registry::findNode(long long const& id) const {
    auto const found = m_nodes.find(id);
    if (found == m_nodes.end())
        return norv::basalt::Ref<Node>();
    Node* const node = found->second;
    // A node between preDestroy and its unregistration can take no new reference.
    if (node->getLifeCycle() == norv::basalt::LC_DESTROYING)
        return norv::basalt::Ref<Node>();
    return norv::basalt::Ref<Node>(node);
}

std::size_t Registry::getNumberOfNodes() const {
    return m_nodes.size();
}

void Registry::countUp(RegistryLinks& links, Registry& registry) {
    ++links[registry.m_serial];
}

void Registry::countDown(RegistryLinks& links, Registry& registry) {
    auto const found = links.find(registry.m_serial);
    if (found == links.end())
        return;
    if (found->second != 1)
        --found->second;
    else
        links.erase(found);
}

std::int32_t Registry::countOf(RegistryLinks const& links, Registry const& registry) {
    auto const found = links.find(registry.m_serial);
    return found == links.end() ? 0 : found->second;
}

void Registry::addDependingRegistry(Registry& registry) {
    countUp(m_dependingRegistries, registry);
}

void Registry::removeDependingRegistry(Registry& registry) {
    countDown(m_dependingRegistries, registry);
}

void Registry::addSuperiorRegistry(Registry& registry) {
    countUp(m_superiorRegistries, registry);
}

void Registry::removeSuperiorRegistry(Registry& registry) {
    countDown(m_superiorRegistries, registry);
}

std::int32_t Registry::getDependingRegistryCount(Registry const& registry) const {
    return countOf(m_dependingRegistries, registry);
}

std::int32_t Registry::getSuperiorRegistryCount(Registry const& registry) const {
    return countOf(m_superiorRegistries, registry);
}

} // namespace Norv::Tavel
