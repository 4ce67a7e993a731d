// Strong and weak reference traffic beside std::shared_ptr, its baseline.
#define TAVEL_BENCH_COUNT_ALLOCATIONS
#include "BenchSupport.h"

#include <basalt/RefCounting.h>

#include <memory>

namespace {

class Counted : public norv::basalt::RefCountableBase {};

void refCopy(benchmark::State& state) {
    norv::basalt::Ref<Counted> const source(new Counted);
    std::size_t const before = bench::allocations();
    for (auto _ : state) {
        norv::basalt::Ref<Counted> copy = source;
        benchmark::DoNotOptimize(copy);
    }
    bench::reportAllocations(state, before);
}
BENCHMARK(refCopy);

void sharedPtrCopy(benchmark::State& state) {
    auto const source = std::make_shared<Counted>();
    for (auto _ : state) {
        std::shared_ptr<Counted> copy = source;
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(sharedPtrCopy);

void weakRefLock(benchmark::State& state) {
    norv::basalt::Ref<Counted> const source(new Counted);
    norv::basalt::WeakRef<Counted> const watch(source);
    for (auto _ : state) {
        norv::basalt::Ref<Counted> locked = watch.lock();
        benchmark::DoNotOptimize(locked);
    }
}
BENCHMARK(weakRefLock);

void weakPtrLock(benchmark::State& state) {
    auto const source = std::make_shared<Counted>();
    std::weak_ptr<Counted> const watch(source);
    for (auto _ : state) {
        std::shared_ptr<Counted> locked = watch.lock();
        benchmark::DoNotOptimize(locked);
    }
}
BENCHMARK(weakPtrLock);

} // namespace

int main(int argc, char** argv) {
    return bench::runWithRatios(
        argc, argv,
        {{"Ref copy", "refCopy", "std::shared_ptr copy", "sharedPtrCopy", 0, "#4",
          {{bench::ALLOCATIONS_COUNTER, 0}}},
         {"WeakRef::lock", "weakRefLock", "std::weak_ptr::lock", "weakPtrLock", 0, "#4"}});
}
