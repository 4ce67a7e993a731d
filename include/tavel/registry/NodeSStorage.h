#pragma once
// Instancing: several nodes share one body of data while each keeps data of its
// own. NodeSStorage is the base of such node classes; SharedStorage is the body
// all instances have in common (named by a shared node id), InstanceStorage the
// part that belongs to one node, NodeRefList the nodes that use a body.
//
// The host derives all three: its storages carry its data, and its node class
// (derived from NodeSStorage) reads its values from them. Which attributes are
// per-instance is marked with ATTR_INSTANCE_DATA when the class registers them.
//
//   class Mesh : public NodeSStorage {
//   public:
//       static Ref<Mesh> create(boost::shared_ptr<Registry> registry,
//                               SharedStorage* body, InstanceStorage* own) {
//           Ref<Mesh> mesh(new Mesh(std::move(registry), body, own));
//           mesh->registerClassOnce();
//           return mesh;
//       }
//       Ref<NodeSStorage> createSharedInstance(SharedStorage* body,
//                                              InstanceStorage* source) override {
//           return create(getRegistry(), body, new MeshInstance);  // own storage
//       }
//       ...
//   };
//   Ref<Mesh> mesh = Mesh::create(registry, new MeshBody, new MeshInstance);
//
// Lifetimes, which a caller must know:
// - A node takes both storages when it is constructed. Its instance storage
//   dies with it; a body dies with the last node that uses it. A construction
//   that fails releases them the same way (so the one-line form above never
//   leaks), except an instance storage that already belongs to another node,
//   which is refused and left to its node.
// - A body stays while any node still uses it, even a node that no strong
//   reference holds any more but that is not yet destroyed.
// - Nothing here takes locks: the nodes of one body are used from one thread
//   at a time, like their registry.

#include <tavel/Export.h>
#include <tavel/nodes/Node.h>

#include <basalt/RefCounting.h>
#include <basalt/Uuid.h>

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <cstdint>
#include <set>

namespace Norv::Tavel {

class NodeSStorage;

// The nodes that use one body, ordered by address. It holds no references:
// nodes enter and leave it themselves as they are made and destroyed.
class TAVEL_EXPORT NodeRefList {
public:
    using Nodes = std::set<NodeSStorage*>;
    using iterator = Nodes::iterator;
    using const_iterator = Nodes::const_iterator;

    NodeRefList(NodeRefList const&) = default;
    NodeRefList& operator=(NodeRefList const&) = default;
    virtual ~NodeRefList();

    iterator begin() { return m_nodes.begin(); }
    iterator end() { return m_nodes.end(); }
    const_iterator begin() const { return m_nodes.begin(); }
    const_iterator end() const { return m_nodes.end(); }
    std::size_t size() const { return m_nodes.size(); }

private:
    friend class SharedStorage;
    friend class NodeSStorage;

    NodeRefList() = default;
    void addReference(NodeSStorage* node) { m_nodes.insert(node); }
    void removeReference(NodeSStorage* node) { m_nodes.erase(node); }

    Nodes m_nodes;
};

// The body that the instances of one shared node have in common. Made by the
// host with `new` and handed to the first node; destroyed by the library when
// the last node using it is destroyed. Not copied.
class TAVEL_EXPORT SharedStorage {
public:
    // An id of 0 draws the next shared node id of the process (the first is 1);
    // any other id is kept as given and draws nothing.
    explicit SharedStorage(long long id = 0);
    SharedStorage(SharedStorage const&) = delete;
    SharedStorage& operator=(SharedStorage const&) = delete;
    virtual ~SharedStorage();

    long long getSharedNodeId() const { return m_sharedNodeId; }
    NodeRefList const& getNodeRefList() const { return m_nodeRefList; }
    // The strong references held on all nodes of the body, summed.
    std::int32_t getRefCount() const { return m_refCount; }

private:
    friend class NodeSStorage;

    long long m_sharedNodeId;
    NodeRefList m_nodeRefList;
    std::int32_t m_refCount;
};

// The data of one instance. Owned by the node that took it, and destroyed with
// that node. Copies (and copy construction) belong to no node.
class TAVEL_EXPORT InstanceStorage {
public:
    InstanceStorage();
    InstanceStorage(InstanceStorage const& other);
    // Leaves this storage with its own node: only the host's data is assigned.
    InstanceStorage& operator=(InstanceStorage const& other);
    virtual ~InstanceStorage();

    // Carries per-instance data from another instance of the same body into
    // this one; called on a new instance by NodeSStorage::getInstancePtr. The
    // base carries nothing.
    virtual void copyChildInstances(InstanceStorage* source);

    // The node that owns this storage; null until a node takes it.
    NodeSStorage* getNode() const { return m_node; }

private:
    friend class NodeSStorage;

    NodeSStorage* m_node;
};

class TAVEL_EXPORT NodeSStorage : public Node {
public:
    static norv::basalt::Uuid const& getUUID();

    long long getSharedNodeId() const { return m_sharedStorage->getSharedNodeId(); }
    SharedStorage* getSharedStorage() const { return m_sharedStorage; }
    // Null when the node was made without one.
    InstanceStorage* getInstanceStorage() const { return m_instanceStorage; }

    // Also count into the body's summed count.
    std::int32_t addRef() override;
    std::int32_t decRef() override;

    // A new node of the host's class on `sharedStorage`, with an instance
    // storage of its own; `instanceStorage` is the asking node's, to copy from
    // or ignore (copyChildInstances follows). May return null.
    virtual norv::basalt::Ref<NodeSStorage>
    createSharedInstance(SharedStorage* sharedStorage, InstanceStorage* instanceStorage) = 0;

protected:
    // Throws InvalidOperationException for a null body, or for an instance
    // storage that belongs to another node; see the lifetimes above.
    NodeSStorage(boost::shared_ptr<Registry> registry, Specification& layout,
                 SharedStorage* sharedStorage, InstanceStorage* instanceStorage, long long id);
    ~NodeSStorage() override;

    // This node while nothing refers to it; once something does, a new
    // instance of the body (createSharedInstance) that has been given this
    // node's instance data, or null when the host made none. Passes on what
    // the host's hooks throw, and then nothing new remains.
    norv::basalt::Ref<Node> getInstancePtr() override;
    void registerAttributes(Specification& layout) override;

private:
    SharedStorage* m_sharedStorage;
    InstanceStorage* m_instanceStorage;
};

} // namespace Norv::Tavel
