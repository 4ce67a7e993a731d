#pragma once
// Shared by the storage and operation tests: an instancing host class whose
// nodes share a body and keep their own instance storage, with storages that
// log their end and hooks the test can script.

#include "support/NodeTestSupport.h"

#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSANode.h>
#include <tavel/registry/NodeSStorage.h>
#include <tavel/types/Exceptions.h>

#include <functional>

namespace Norv::Tavel::testing {

using StorageLog = std::vector<std::string>; // the storages that ended, in order

struct Body : SharedStorage {
    explicit Body(StorageLog* log = nullptr, long long id = 0) : SharedStorage(id), log(log) {}
    ~Body() override {
        if (log != nullptr) {
            log->push_back("body");
        }
    }
    StorageLog* log;
};

struct Slot : InstanceStorage {
    explicit Slot(std::string name = "", StorageLog* log = nullptr)
        : name(std::move(name)), log(log) {}
    ~Slot() override {
        if (log != nullptr) {
            log->push_back(name);
        }
    }
    void copyChildInstances(InstanceStorage* source) override {
        copiedFrom = source;
        if (failCopy) {
            throw InvalidOperationException("");
        }
        colour = static_cast<Slot*>(source)->colour;
    }
    std::string name;
    StorageLog* log;
    int colour = 0;
    InstanceStorage* copiedFrom = nullptr;
    bool failCopy = false;
};

// Made with plain storages unless given others. Its constructor throws after
// the node has entered its body while `failConstruction` is set. A new
// instance of a node with a Slot gets a Slot named after it with a "'".
class Mesh : public NodeSStorage {
public:
    static inline bool failConstruction = false;

    Mesh(boost::shared_ptr<Registry> registry, SharedStorage* body, InstanceStorage* slot,
         Specification& layout = classLayout())
        : NodeSStorage(std::move(registry), layout, body, slot, EMPTY_NODE_ID) {
        if (failConstruction) {
            throw InvalidOperationException("");
        }
    }
    static Uuid const& getUUID() {
        static Uuid const id("{5A0E3C1B-2D4F-4B6A-8C9E-7F1A2B3C4D5E}");
        return id;
    }
    template <class T = Mesh>
    static Ref<T> create(boost::shared_ptr<Registry> registry = nullptr,
                         SharedStorage* body = new SharedStorage,
                         InstanceStorage* slot = new InstanceStorage) {
        Ref<T> mesh(new T(std::move(registry), body, slot));
        mesh->registerClassOnce();
        return mesh;
    }
    Ref<Node> createInstance(boost::shared_ptr<Registry> registry) override {
        return create(registry ? registry : getRegistry());
    }
    Ref<NodeSStorage> createSharedInstance(SharedStorage* body, InstanceStorage* slot) override {
        if (beforeCreate) {
            beforeCreate();
        }
        if (makeNone) {
            return nullptr;
        }
        auto* const source = dynamic_cast<Slot*>(slot);
        if (source == nullptr) {
            return create(getRegistry(), body);
        }
        auto* const own = new Slot(source->name + "'", source->log);
        own->failCopy = source->failCopy;
        return create(getRegistry(), body, own);
    }
    Slot& slot() const { return dynamic_cast<Slot&>(*getInstanceStorage()); }

    DataSA<AT_S_INT32> colour{this, 0, gt_none}; // instance data
    DataSA<AT_S_STRING> label{this, QString(), gt_none};
    DataSANode<Node> link{this};
    DataMANode<Node> items{this};
    std::function<void()> beforeCreate;
    bool makeNone = false;

protected:
    static Specification& classLayout() {
        static Specification layout("Mesh");
        return layout;
    }
    void registerAttributes(Specification& layout) override {
        if (!layout.needsRegistration) {
            return;
        }
        layout.addInheritFrom(getUUID());
        registerFixedAttribute(layout, colour, ATTR_INSTANCE_DATA, "colour", "");
        registerFixedAttribute(layout, label, ATTR_SERIALIZE, "label", "");
        registerFixedAttribute(layout, link, ATTR_SERIALIZE, "link", "");
        registerFixedAttribute(layout, items, ATTR_SERIALIZE, "items", "");
        NodeSStorage::registerAttributes(layout);
    }
};

inline Mesh& mesh(NodeRef const& node) {
    return dynamic_cast<Mesh&>(*node);
}

} // namespace Norv::Tavel::testing
