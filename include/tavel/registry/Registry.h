#pragma once
// Registry: the directory of the live nodes of one graph, by node id. It also links a
// Factory weakly, records the thread it is current on, and counts the links to other
// registries whose nodes refer to (superior) or are referred to by (depending) its own.
//
// A registry must be created into a boost::shared_ptr<Registry>: nodes hand it out with
// shared_from_this. It never owns, creates or destroys nodes; nodes enter and leave it
// themselves. Nodes still registered when it is destroyed are listed on the debug-output
// channel ("Dangling nodes:\n", then one class name per write, ascending by id).
// Nothing here throws for unknown ids or registries, and nothing takes locks: a registry
// is used from one thread at a time; the thread binding is a record for hosts only.

#include <tavel/Export.h>

#include <basalt/RefCounting.h>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/thread_only.hpp>
#include <boost/weak_ptr.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

namespace Norv::Tavel {

class Node;
class Factory;

// The node id meaning "no id"; a node constructed with it draws a fresh one.
constexpr long long EMPTY_NODE_ID = 0;

// The directory of one graph's live nodes, held by a boost::shared_ptr; it never owns them.
class TAVEL_EXPORT Registry : public boost::enable_shared_from_this<Registry> {
public:
    // Links the default factory (Factory::get()) and becomes current on this thread.
    Registry();
    Registry(Registry const&) = delete;
    Registry& operator=(Registry const&) = delete;
    // Reports the nodes still registered; the nodes themselves are not touched.
    virtual ~Registry();

    // Binds to the calling thread; false (and no change) if bound to any thread already.
    bool makeCurrent();
    // Unbinds; true when unbound afterwards, false when bound to another thread.
    bool removeCurrent();
    bool isCurrent();

    // The link is weak: the registry does not keep its factory alive.
    void setFactory(boost::shared_ptr<Factory> factory);
    // Empty when no factory is linked or the linked one is gone.
    boost::shared_ptr<Factory> getFactory() const;

    // The first node registered under an id stays; a later one with the same id is ignored.
    void registerNode(Node const& node);
    // Erases the entry for the id, whichever node it holds.
    void unregisterNode(long long const& id);
    // Erases the entry for node's id only when it holds this very node, so a node leaving
    // never removes another node registered under the same id.
    void unregisterNode(Node const& node);
    // A new strong reference, or null when the id is absent or its node is being destroyed.
    norv::basalt::Ref<Node> findNode(long long const& id) const;
    std::size_t getNumberOfNodes() const;

    // Counted links; removal below one erases the entry, removal of an absent one is ignored.
    void addDependingRegistry(Registry& registry);
    void removeDependingRegistry(Registry& registry);
    void addSuperiorRegistry(Registry& registry);
    void removeSuperiorRegistry(Registry& registry);
    // Current counts, 0 when there is no link.
    std::int32_t getDependingRegistryCount(Registry const& registry) const;
    std::int32_t getSuperiorRegistryCount(Registry const& registry) const;

    // Process-wide live-object counters, raised and lowered without atomics.
    static std::uint64_t INSTANCE_COUNTER;
    static std::uint64_t INSTANCE_STORAGE_COUNTER;
    static std::uint64_t SHARED_STORAGE_COUNTER;

private:
    // Keyed by serial number, never by address: a registry allocated where a linked one
    // was must not inherit its count. A linked registry is never reached through its key.
    using RegistryLinks = std::map<std::uint64_t, std::int32_t>;

    void reportDanglingNodes() const;
    static void countUp(RegistryLinks& links, Registry& registry);
    static void countDown(RegistryLinks& links, Registry& registry);
    static std::int32_t countOf(RegistryLinks const& links, Registry const& registry);

    // Not owning and not counting: nodes unregister themselves before they go.
    std::map<long long, Node*> m_nodes;
    RegistryLinks m_dependingRegistries;
    RegistryLinks m_superiorRegistries;
    boost::weak_ptr<Factory> m_factory;
    boost::thread::id m_currentThread;
    // Drawn from a process-wide counter: unique for the life of the process.
    std::uint64_t m_serial;
};

} // namespace Norv::Tavel
