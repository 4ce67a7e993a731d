// The node hot paths beside their baselines: a set that notifies a subscriber,
// lookup by name, creating a node with attributes, and changes held back by
// InhibitUpdate.

#define TAVEL_BENCH_COUNT_ALLOCATIONS
#include "BenchSupport.h"

#include <tavel/attributes/DataSA.h>
#include <tavel/nodes/CustomNode.h>

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <vector>

using namespace Norv::Tavel;
using norv::basalt::Ref;

namespace {

// Alternates, so that every set is a change however long the run.
float next(float value) {
    return value == 1.0f ? 2.0f : 1.0f;
}

using FloatAttribute = AttributeBase<SingleAttributeBase<AT_S_FLOAT>>;

// Baseline B: a plain store plus one std::function call, as a hand-written
// observable field would do it.
struct PlainObservable {
    float m_value = 0;
    std::function<void(float)> m_changed;
    void set(float value) {
        if (value == m_value) {
            return;
        }
        m_value = value;
        m_changed(value);
    }
};

void BM_Baseline_StoreAndCall(benchmark::State& state) {
    int calls = 0;
    PlainObservable holder;
    holder.m_changed = [&calls](float) { ++calls; };
    float value = 0;
    for (auto _ : state) {
        value = next(value);
        benchmark::DoNotOptimize(&holder);
        holder.set(value);
    }
    benchmark::DoNotOptimize(calls);
}
BENCHMARK(BM_Baseline_StoreAndCall);

std::vector<QString> names(int count) {
    std::vector<QString> result;
    for (int i = 0; i < count; ++i) {
        result.push_back(QStringLiteral("attribute%1").arg(i));
    }
    return result;
}

struct WatchedNode {
    Ref<Node> node = CustomNode::create(nullptr);
    FloatAttribute& value =
        static_cast<FloatAttribute&>(node->registerAttribute("value", AT_S_FLOAT));
    int calls = 0;
    explicit WatchedNode(bool watched) {
        if (watched) {
            node->subscribeForNodeChangeNotification(
                [this](ChangeAction, Node const&, boost::optional<Attribute const&>) { ++calls; });
        }
    }
};

void BM_Node_SetFloatOneSubscriber(benchmark::State& state) {
    WatchedNode watched(true);
    float value = 0;
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        value = next(value);
        watched.value.set(value);
    }
    bench::reportAllocations(state, before);
    benchmark::DoNotOptimize(watched.calls);
}
BENCHMARK(BM_Node_SetFloatOneSubscriber);

void BM_Node_SetFloatNoSubscriber(benchmark::State& state) {
    WatchedNode watched(false);
    float value = 0;
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        value = next(value);
        watched.value.set(value);
    }
    bench::reportAllocations(state, before);
}
BENCHMARK(BM_Node_SetFloatNoSubscriber);

void BM_Node_SetFloatUnchanged(benchmark::State& state) {
    WatchedNode watched(true);
    watched.value.set(1.0f);
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        benchmark::DoNotOptimize(&watched.value);
        watched.value.set(1.0f);
    }
    bench::reportAllocations(state, before);
}
BENCHMARK(BM_Node_SetFloatUnchanged);

void BM_Node_LookupAndSet20(benchmark::State& state) {
    Ref<Node> const node = CustomNode::create(nullptr);
    for (QString const& name : names(20)) {
        node->registerAttribute(name, AT_S_FLOAT);
    }
    QString const key = QStringLiteral("attribute13");
    float value = 0;
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        value = next(value);
        static_cast<FloatAttribute&>(*node->getAttribute(key)).set(value);
    }
    bench::reportAllocations(state, before);
}
BENCHMARK(BM_Node_LookupAndSet20);

void BM_QHash_InsertExisting20(benchmark::State& state) {
    QHash<QString, QVariant> hash;
    for (QString const& name : names(20)) {
        hash.insert(name, QVariant(0.0f));
    }
    QString const key = QStringLiteral("attribute13");
    float value = 0;
    for (auto _ : state) {
        value = next(value);
        hash.insert(key, QVariant(value));
    }
    benchmark::DoNotOptimize(hash);
}
BENCHMARK(BM_QHash_InsertExisting20);

void BM_QObject_SetDynamicProperty20(benchmark::State& state) {
    QObject object;
    for (QString const& name : names(20)) {
        object.setProperty(name.toLatin1().constData(), QVariant(0.0f));
    }
    QByteArray const key("attribute13");
    float value = 0;
    for (auto _ : state) {
        value = next(value);
        object.setProperty(key.constData(), QVariant(value));
    }
}
BENCHMARK(BM_QObject_SetDynamicProperty20);

// Other nodes of the class usually carry the same names; one anchor node keeps
// the shared entries, as they would. Counted per node: the bytes it holds
// while alive and the allocations of its making.
void BM_Node_Create10Floats(benchmark::State& state) {
    std::vector<QString> const keys = names(10);
    Ref<Node> const anchor = CustomNode::create(nullptr);
    for (QString const& name : keys) {
        anchor->registerAttribute(name, AT_S_FLOAT);
    }
    std::size_t held = 0;
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        std::size_t const live = bench::liveBytes();
        Ref<Node> node = CustomNode::create(nullptr);
        for (QString const& name : keys) {
            node->registerAttribute(name, AT_S_FLOAT);
        }
        held += bench::liveBytes() - live;
        benchmark::DoNotOptimize(node.get());
    }
    bench::reportAllocations(state, before);
    state.counters["held B/node"] = double(held) / double(state.iterations());
}
BENCHMARK(BM_Node_Create10Floats);

void BM_QObject_Create10Properties(benchmark::State& state) {
    std::vector<QByteArray> keys;
    for (QString const& name : names(10)) {
        keys.push_back(name.toLatin1());
    }
    std::size_t held = 0;
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        std::size_t const live = bench::liveBytes();
        auto* object = new QObject;
        for (QByteArray const& key : keys) {
            object->setProperty(key.constData(), QVariant(0.0f));
        }
        held += bench::liveBytes() - live;
        benchmark::DoNotOptimize(object);
        delete object;
    }
    bench::reportAllocations(state, before);
    state.counters["held B/node"] = double(held) / double(state.iterations());
}
BENCHMARK(BM_QObject_Create10Properties);

constexpr int CHANGES = 10000;

void BM_Node_10000ChangesInhibited(benchmark::State& state) {
    WatchedNode watched(true);
    float value = 0;
    for (auto _ : state) {
        InhibitUpdate batch(*watched.node);
        for (int i = 0; i < CHANGES; ++i) {
            value = next(value);
            watched.value.set(value);
        }
    }
    benchmark::DoNotOptimize(watched.calls);
}
BENCHMARK(BM_Node_10000ChangesInhibited);

void BM_Node_10000ChangesUnwatched(benchmark::State& state) {
    WatchedNode watched(false);
    float value = 0;
    for (auto _ : state) {
        for (int i = 0; i < CHANGES; ++i) {
            value = next(value);
            watched.value.set(value);
        }
    }
}
BENCHMARK(BM_Node_10000ChangesUnwatched);

} // namespace

int main(int argc, char** argv) {
    std::string const b = "B: store + 1 std::function call";
    std::vector<bench::Limit> const noAllocation = {{bench::ALLOCATIONS_COUNTER, 0}};
    std::vector<bench::Limit> const allocations = {{bench::ALLOCATIONS_COUNTER}};
    return bench::runWithRatios(
        argc, argv,
        {{"typed set of a float, 1 node-change subscriber", "BM_Node_SetFloatOneSubscriber", b,
          "BM_Baseline_StoreAndCall", 3.0, "#11", noAllocation},
         {"typed set of a float, no subscriber", "BM_Node_SetFloatNoSubscriber", b,
          "BM_Baseline_StoreAndCall", 0, "", allocations},
         {"typed set of an unchanged value", "BM_Node_SetFloatUnchanged", b,
          "BM_Baseline_StoreAndCall", 1.0, "#11", allocations},
         {"getAttribute(QString) + typed set, 20 custom", "BM_Node_LookupAndSet20", b,
          "BM_Baseline_StoreAndCall", 10.0, "#6", allocations},
         {"getAttribute(QString) + typed set, 20 custom", "BM_Node_LookupAndSet20",
          "QHash<QString,QVariant>::insert", "BM_QHash_InsertExisting20", 0.5, "#11"},
         {"getAttribute(QString) + typed set, 20 custom", "BM_Node_LookupAndSet20",
          "QObject::setProperty, dynamic", "BM_QObject_SetDynamicProperty20", 0, "#6"},
         {"CustomNode with 10 floats, create + release", "BM_Node_Create10Floats",
          "QObject with 10 dynamic properties", "BM_QObject_Create10Properties", 0.7, "#11",
          {{bench::ALLOCATIONS_COUNTER, 12}, {"held B/node", 1000}}},
         {"10,000 changes inside one InhibitUpdate", "BM_Node_10000ChangesInhibited",
          "the same changes, no subscriber", "BM_Node_10000ChangesUnwatched", 1.5, "#6"}});
}
