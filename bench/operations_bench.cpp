// Copy and compare of whole hierarchies beside hand-written deep copies and
// compares of an equivalent tree of plain structs. Every node has 8 float
// attributes and a list of up to 8 children; trees are filled breadth-first.
// Also measured once: the peak heap use of the 100,000-node copy against the
// source tree's own.

#include "BenchNodes.h"
#include "BenchSupport.h"

#include <malloc.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

using namespace Norv::Tavel;
using bench::Shape;
using norv::basalt::Ref;

// Live and peak heap bytes of everything allocated with new, library included.
namespace {
std::size_t g_live = 0;
std::size_t g_peak = 0;
} // namespace

void* operator new(std::size_t size) {
    void* const block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    g_live += malloc_usable_size(block);
    g_peak = g_live > g_peak ? g_live : g_peak;
    return block;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* block) noexcept {
    if (block != nullptr) {
        g_live -= malloc_usable_size(block);
        std::free(block);
    }
}
void operator delete[](void* block) noexcept {
    operator delete(block);
}
void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    operator delete(block);
}

namespace {

constexpr std::size_t FANOUT = 8;

struct Plain {
    float values[8];
    std::vector<std::unique_ptr<Plain>> children;
};

// Node i's children are 8i+1 ... 8i+8, as far as there are nodes. Leaves are
// made first, so no edit climbs while the tree is built.
Ref<Shape> makeTree(std::size_t n) {
    std::vector<Ref<Shape>> nodes(n);
    for (std::size_t i = n; i-- > 0;) {
        nodes[i] = Shape::create(nullptr);
        for (int v = 0; v < 8; ++v) {
            nodes[i]->values[v].set(float(i) + float(v) * 0.5f);
        }
        std::vector<NodeRef> children;
        for (std::size_t c = FANOUT * i + 1; c <= FANOUT * i + FANOUT && c < n; ++c) {
            children.push_back(nodes[c]);
        }
        nodes[i]->children.set(children);
    }
    return nodes[0];
}

std::unique_ptr<Plain> makePlainTree(std::size_t n) {
    std::vector<std::unique_ptr<Plain>> nodes(n);
    for (std::size_t i = n; i-- > 0;) {
        nodes[i] = std::make_unique<Plain>();
        for (int v = 0; v < 8; ++v) {
            nodes[i]->values[v] = float(i) + float(v) * 0.5f;
        }
        for (std::size_t c = FANOUT * i + 1; c <= FANOUT * i + FANOUT && c < n; ++c) {
            nodes[i]->children.push_back(std::move(nodes[c]));
        }
    }
    return std::move(nodes[0]);
}

// The hand-written baselines, written the way one would: recursive.
std::unique_ptr<Plain> copyPlain(Plain const& source) {
    auto copy = std::make_unique<Plain>();
    std::copy(std::begin(source.values), std::end(source.values), copy->values);
    copy->children.reserve(source.children.size());
    for (auto const& child : source.children) {
        copy->children.push_back(copyPlain(*child));
    }
    return copy;
}

bool comparePlain(Plain const& a, Plain const& b) {
    if (!std::equal(std::begin(a.values), std::end(a.values), b.values) ||
        a.children.size() != b.children.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        if (!comparePlain(*a.children[i], *b.children[i])) {
            return false;
        }
    }
    return true;
}

void BM_Baseline_StructCopy(benchmark::State& state) {
    std::unique_ptr<Plain> const tree = makePlainTree(std::size_t(state.range(0)));
    for (auto _ : state) {
        std::unique_ptr<Plain> copy = copyPlain(*tree);
        benchmark::DoNotOptimize(copy.get());
    }
}
BENCHMARK(BM_Baseline_StructCopy)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_NodeCopy(benchmark::State& state) {
    Ref<Shape> const tree = makeTree(std::size_t(state.range(0)));
    for (auto _ : state) {
        NodeRef copy = tree->copy(nullptr);
        benchmark::DoNotOptimize(copy.get());
    }
}
BENCHMARK(BM_NodeCopy)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_Baseline_StructCompare(benchmark::State& state) {
    std::unique_ptr<Plain> const first = makePlainTree(std::size_t(state.range(0)));
    std::unique_ptr<Plain> const second = makePlainTree(std::size_t(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(comparePlain(*first, *second));
    }
}
BENCHMARK(BM_Baseline_StructCompare)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_NodeCompare(benchmark::State& state) {
    Ref<Shape> const first = makeTree(std::size_t(state.range(0)));
    Ref<Shape> const second = makeTree(std::size_t(state.range(0)));
    bool equal = true;
    for (auto _ : state) {
        equal = equal && first->compare(second);
    }
    if (!equal) {
        state.SkipWithError("the trees compared unequal");
    }
}
BENCHMARK(BM_NodeCompare)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The heap the copy takes at its peak and keeps, against the source tree's own.
std::vector<bench::Figure> copyMemory() {
    std::size_t const empty = g_live;
    Ref<Shape> tree = makeTree(100000);
    std::size_t const source = g_live - empty;
    std::size_t const start = g_live;
    g_peak = g_live;
    NodeRef copy = tree->copy(nullptr);
    std::size_t const peak = g_peak - start;
    std::size_t const kept = g_live - start;
    return {{"heap peak of the 100,000-node copy", double(peak) / 1e6, "the source tree's heap",
             double(source) / 1e6, "MB", 0, "#13"},
            {"heap kept by the 100,000-node copy", double(kept) / 1e6, "the source tree's heap",
             double(source) / 1e6, "MB", 0, "#13"}};
}

} // namespace

int main(int argc, char** argv) {
    std::vector<bench::Figure> const memory = copyMemory();
    return bench::runWithRatios(
        argc, argv,
        {{"Node::copy of 1,000 nodes", "BM_NodeCopy/1000", "hand-written struct tree copy",
          "BM_Baseline_StructCopy/1000", 10.0, "#13"},
         {"Node::copy of 100,000 nodes", "BM_NodeCopy/100000", "hand-written struct tree copy",
          "BM_Baseline_StructCopy/100000", 10.0, "#13"},
         {"Node::compare of 1,000 nodes", "BM_NodeCompare/1000", "hand-written struct compare",
          "BM_Baseline_StructCompare/1000", 5.0, "#13"},
         {"Node::compare of 100,000 nodes", "BM_NodeCompare/100000", "hand-written struct compare",
          "BM_Baseline_StructCompare/100000", 5.0, "#13"}},
        {{"Node::copy", "BM_NodeCopy", {1000, 100000}, "", true, "#13"}}, memory);
}
