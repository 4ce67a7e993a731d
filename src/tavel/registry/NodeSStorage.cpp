#include <tavel/registry/NodeSStorage.h>

#include <tavel/registry/Registry.h>
#include <tavel/types/Exceptions.h>

#include <exception>
#include <utility>

namespace Norv::Tavel {

using norv::basalt::LC_REFERENCED;
using norv::basalt::Ref;
using norv::basalt::Uuid;

namespace {

long long s_sharedNodeIdCounter = 0;

// Checked before the Node part is built, so a refused node never exists.
boost::shared_ptr<Registry> admit(boost::shared_ptr<Registry> registry,
                                  SharedStorage const* sharedStorage,
                                  InstanceStorage const* instanceStorage) {
    if (sharedStorage == nullptr ||
        (instanceStorage != nullptr && instanceStorage->getNode() != nullptr)) {
        throw InvalidOperationException("");
    }
    return registry;
}

// Holds a node while a host hook runs, so the hook may drop the last other
// reference. The node's end, if it comes here, may pass on what its
// subscribers throw, unless another exception is already on its way.
class HoldDuringHook {
public:
    explicit HoldDuringHook(NodeSStorage& node) : m_uncaught(std::uncaught_exceptions()) {
        // Only a node a Ref has is held: taking the first reference here would end it.
        if (node.getLifeCycle() == LC_REFERENCED && node.refCounter()->getStrongCount() > 0) {
            m_node = Ref<NodeSStorage>(&node);
        }
    }
    ~HoldDuringHook() noexcept(false) {
        try {
            m_node.reset();
        } catch (...) {
            if (std::uncaught_exceptions() == m_uncaught) {
                throw;
            }
        }
    }
    HoldDuringHook(HoldDuringHook const&) = delete;
    HoldDuringHook& operator=(HoldDuringHook const&) = delete;

private:
    Ref<NodeSStorage> m_node;
    int m_uncaught;
};

} // namespace

NodeRefList::~NodeRefList() = default;

SharedStorage::SharedStorage(long long id)
    : m_sharedNodeId(id == 0 ? ++s_sharedNodeIdCounter : id), m_refCount(0) {
    ++Registry::SHARED_STORAGE_COUNTER;
}

SharedStorage::~SharedStorage() {
    --Registry::SHARED_STORAGE_COUNTER;
}

InstanceStorage::InstanceStorage() : m_node(nullptr) {
    ++Registry::INSTANCE_STORAGE_COUNTER;
}

InstanceStorage::InstanceStorage(InstanceStorage const&) : m_node(nullptr) {
    ++Registry::INSTANCE_STORAGE_COUNTER;
}

// Taking the source's node would make two storages claim one node, and this
// one claim a node that does not own it.
InstanceStorage& InstanceStorage::operator=(InstanceStorage const&) {
    return *this;
}

InstanceStorage::~InstanceStorage() {
    --Registry::INSTANCE_STORAGE_COUNTER;
    m_node = nullptr;
}

void InstanceStorage::copyChildInstances(InstanceStorage*) {}

Uuid const& NodeSStorage::getUUID() {
    static Uuid const uuid("{668E1D88-8DA0-4b99-BF91-47D61FE23BBC}");
    return uuid;
}

// Entering the body's list is the last step that can fail, so a failure never
// leaves this node listed.
NodeSStorage::NodeSStorage(boost::shared_ptr<Registry> registry, Specification& layout,
                           SharedStorage* sharedStorage, InstanceStorage* instanceStorage,
                           long long id) try
    : Node(admit(std::move(registry), sharedStorage, instanceStorage), layout, id),
      m_sharedStorage(sharedStorage), m_instanceStorage(instanceStorage) {
    m_sharedStorage->m_nodeRefList.addReference(this);
    if (m_instanceStorage != nullptr) {
        m_instanceStorage->m_node = this;
    }
} catch (...) {
    // Released as the destructor would have: the caller handed both over.
    if (instanceStorage != nullptr && instanceStorage->m_node == nullptr) {
        delete instanceStorage;
    }
    if (sharedStorage != nullptr && sharedStorage->m_nodeRefList.size() == 0) {
        delete sharedStorage;
    }
}

// The body goes with the last node that lists it, not when the summed count
// reaches 0: a node queued for destruction, or held only for the length of a
// notification, counts 0 yet still uses the body.
NodeSStorage::~NodeSStorage() {
    SharedStorage* const sharedStorage = std::exchange(m_sharedStorage, nullptr);
    sharedStorage->m_nodeRefList.removeReference(this);
    if (sharedStorage->m_nodeRefList.size() == 0) {
        delete sharedStorage;
    }
    delete std::exchange(m_instanceStorage, nullptr);
}

std::int32_t NodeSStorage::addRef() {
    if (m_sharedStorage != nullptr) {
        ++m_sharedStorage->m_refCount;
    }
    return Node::addRef();
}

std::int32_t NodeSStorage::decRef() {
    if (m_sharedStorage != nullptr) {
        --m_sharedStorage->m_refCount;
    }
    return Node::decRef();
}

Ref<Node> NodeSStorage::getInstancePtr() {
    if (getNumberOfOwnerLinks() == 0) {
        return Ref<Node>(this);
    }
    HoldDuringHook const hold(*this);
    Ref<NodeSStorage> instance = createSharedInstance(m_sharedStorage, m_instanceStorage);
    if (!instance) {
        return nullptr;
    }
    InstanceStorage* const target = instance->m_instanceStorage;
    InstanceStorage* const source = m_instanceStorage;
    if (target != nullptr && source != nullptr && target != source) {
        target->copyChildInstances(source);
    }
    return instance;
}

void NodeSStorage::registerAttributes(Specification& layout) {
    if (!layout.needsRegistration) {
        return;
    }
    layout.addInheritFrom(getUUID());
    Node::registerAttributes(layout);
}

} // namespace Norv::Tavel
