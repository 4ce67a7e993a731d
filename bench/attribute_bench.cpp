// Typed and generic access to data attributes beside their plain baselines.

#define TAVEL_BENCH_COUNT_ALLOCATIONS
#include "BenchSupport.h"

#include <tavel/attributes/DataMA.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/attributes/DataSAMinMax.h>

#include <QVariant>

#include <vector>

using namespace Norv::Tavel;

namespace {

// Baseline: a member store guarded by an equality check, as a setter would do.
struct PlainHolder {
    float m_value = 0;
    void set(float value) {
        if (value == m_value) {
            return;
        }
        m_value = value;
    }
    float get() const { return m_value; }
};

void BM_PlainStoreSetGet(benchmark::State& state) {
    PlainHolder holder;
    float value = 0;
    for (auto _ : state) {
        value += 1.0f;
        benchmark::DoNotOptimize(&holder);
        holder.set(value);
        benchmark::DoNotOptimize(holder.get());
    }
}
BENCHMARK(BM_PlainStoreSetGet);

template <class A> void setGetLoop(benchmark::State& state, A& attribute) {
    Attribute& erased = attribute;
    auto& typed = static_cast<AttributeBase<SingleAttributeBase<AT_S_FLOAT>>&>(erased);
    float value = 0;
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        value += 1.0f;
        typed.set(value);
        benchmark::DoNotOptimize(typed.get());
    }
    bench::reportAllocations(state, before);
}

void BM_DataSAFloatSetGet(benchmark::State& state) {
    DataSA<AT_S_FLOAT> attribute(nullptr, 0.f, gt_none);
    setGetLoop(state, attribute);
}
BENCHMARK(BM_DataSAFloatSetGet);

void BM_DataSAMinMaxFloatSetGet(benchmark::State& state) {
    DataSAMinMax<AT_S_FLOAT> attribute(nullptr, 0.f, -1e30f, 1e30f, gt_none);
    setGetLoop(state, attribute);
}
BENCHMARK(BM_DataSAMinMaxFloatSetGet);

void BM_DataSAFloatSetUnchanged(benchmark::State& state) {
    DataSA<AT_S_FLOAT> attribute(nullptr, 1.f, gt_none);
    AttributeBase<SingleAttributeBase<AT_S_FLOAT>>& typed = attribute;
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        benchmark::DoNotOptimize(&typed);
        typed.set(1.f);
    }
    bench::reportAllocations(state, before);
}
BENCHMARK(BM_DataSAFloatSetUnchanged);

void BM_QVariantSetGet(benchmark::State& state) {
    QVariant variant;
    float value = 0;
    for (auto _ : state) {
        value += 1.0f;
        variant.setValue(value);
        benchmark::DoNotOptimize(variant.value<float>());
    }
}
BENCHMARK(BM_QVariantSetGet);

void BM_DataSAFloatGenericSetGet(benchmark::State& state) {
    DataSA<AT_S_FLOAT> attribute(nullptr, 0.f, gt_none);
    Attribute& generic = attribute;
    float value = 0;
    for (auto _ : state) {
        value += 1.0f;
        generic.setGeneric(AttributeValue(value));
        AttributeValue const read = generic.getGeneric();
        benchmark::DoNotOptimize(read.get<float>());
    }
}
BENCHMARK(BM_DataSAFloatGenericSetGet);

constexpr int LIST_LENGTH = 1000;

void BM_VectorPushBack1000(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<float> list;
        for (int i = 0; i < LIST_LENGTH; ++i) {
            list.push_back(float(i));
        }
        benchmark::DoNotOptimize(list.data());
    }
}
BENCHMARK(BM_VectorPushBack1000);

// A list attribute has no element append: a host builds the list and sets it
// once, which copies it into the attribute.
void BM_DataMAFloatAppend1000(benchmark::State& state) {
    for (auto _ : state) {
        DataMA<AT_M_FLOAT> attribute(nullptr, {}, gt_none);
        std::vector<float> list;
        for (int i = 0; i < LIST_LENGTH; ++i) {
            list.push_back(float(i));
        }
        attribute.set(list);
        benchmark::DoNotOptimize(&attribute);
    }
}
BENCHMARK(BM_DataMAFloatAppend1000);

} // namespace

int main(int argc, char** argv) {
    std::string const plain = "member store guarded by !=";
    std::vector<bench::Limit> const noAllocation = {{bench::ALLOCATIONS_COUNTER, 0}};
    return bench::runWithRatios(
        argc, argv,
        {{"typed set + get of a float, no owner", "BM_DataSAFloatSetGet", plain,
          "BM_PlainStoreSetGet", 3.0, "#5 #11", noAllocation},
         {"typed set + get, ranged float, no owner", "BM_DataSAMinMaxFloatSetGet", plain,
          "BM_PlainStoreSetGet", 3.0, "#5", noAllocation},
         {"typed set of an unchanged value, no owner", "BM_DataSAFloatSetUnchanged", plain,
          "BM_PlainStoreSetGet", 1.0, "#5", noAllocation},
         {"setGeneric + getGeneric of a float", "BM_DataSAFloatGenericSetGet", "QVariant set + get",
          "BM_QVariantSetGet", 0, "#5"},
         {"list of 1,000 floats built and set", "BM_DataMAFloatAppend1000",
          "std::vector push_back", "BM_VectorPushBack1000", 0, "#5"}});
}
