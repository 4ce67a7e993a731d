// Value text, node dump and byte-stream records beside their plain baselines.

#include "BenchSupport.h"

#include <tavel/attributes/DataMA.h>
#include <tavel/attributes/DataMANode.h>
#include <tavel/attributes/DataSA.h>
#include <tavel/conversion/Serializer.h>
#include <tavel/conversion/Utilities.h>
#include <tavel/nodes/CustomNode.h>

#include <QStringList>

#include <sstream>
#include <vector>

using namespace Norv::Tavel;

namespace {

constexpr int LIST_LENGTH = 10000;

std::vector<double> sampleDoubles() {
    std::vector<double> values(LIST_LENGTH);
    for (int i = 0; i < LIST_LENGTH; ++i) {
        values[std::size_t(i)] = (i - LIST_LENGTH / 2) * 1.2345678901234 + 0.1;
    }
    return values;
}

// Baseline: what a host writes by hand, QString::number per value joined by ';'.
void BM_QStringNumberJoin10k(benchmark::State& state) {
    std::vector<double> const values = sampleDoubles();
    for (auto _ : state) {
        QString text;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0) {
                text += QLatin1Char(';');
            }
            text += QString::number(values[i], 'g', 17);
        }
        benchmark::DoNotOptimize(text.constData());
    }
}
BENCHMARK(BM_QStringNumberJoin10k);

void BM_DataMADoubleToText10k(benchmark::State& state) {
    DataMA<AT_M_DOUBLE> attribute(nullptr, sampleDoubles(), gt_none);
    for (auto _ : state) {
        QString const text = Utilities::convertAttributeValueToString(attribute, QLatin1Char(' '),
                                                                      QLatin1Char(';'), 'g', 17);
        benchmark::DoNotOptimize(text.constData());
    }
}
BENCHMARK(BM_DataMADoubleToText10k);

// Baseline: toDouble over texts already split, into a plain vector.
void BM_ToDoubleLoop10k(benchmark::State& state) {
    QStringList parts;
    for (double value : sampleDoubles()) {
        parts << QString::number(value, 'g', 17);
    }
    std::vector<double> values(std::size_t(parts.size()));
    for (auto _ : state) {
        bool ok = true;
        for (int i = 0; i < parts.size(); ++i) {
            values[std::size_t(i)] = parts[i].toDouble(&ok);
        }
        benchmark::DoNotOptimize(values.data());
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_ToDoubleLoop10k);

void BM_DataMADoubleFromText10k(benchmark::State& state) {
    DataMA<AT_M_DOUBLE> attribute(nullptr, sampleDoubles(), gt_none);
    QString const text = Utilities::convertAttributeValueToString(attribute, QLatin1Char(' '),
                                                                  QLatin1Char(';'), 'g', 17);
    for (auto _ : state) {
        bool const ok =
            Utilities::setAttributeFromString(attribute, text, QLatin1Char(' '), QLatin1Char(';'));
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_DataMADoubleFromText10k);

// A tree of `count` nodes, ten children per node, each with a name, a
// vector and a number; returns the root.
NodeRef sampleTree(int count) {
    std::vector<NodeRef> nodes;
    for (int i = 0; i < count; ++i) {
        NodeRef node = CustomNode::create(nullptr);
        node->registerAttribute("name", AT_S_STRING)
            .setGeneric(AttributeValue(QStringLiteral("node%1").arg(i)));
        node->registerAttribute("size", AT_S_VEC3).setGeneric(AttributeValue(Vec3f(1, 2, 3)));
        node->registerAttribute("weight", AT_S_DOUBLE).setGeneric(AttributeValue(0.5 * i));
        node->registerAttribute("children", AT_M_NODE_PTR);
        nodes.push_back(node);
    }
    // Children are attached from the leaves up, so no change climbs far.
    for (int i = count - 1; i >= 0; --i) {
        std::vector<NodeRef> children;
        for (int c = 10 * i + 1; c <= 10 * i + 10 && c < count; ++c) {
            children.push_back(nodes[std::size_t(c)]);
        }
        nodes[std::size_t(i)]->getAttribute("children")->setGeneric(AttributeValue(children));
    }
    return nodes.front();
}

// Text per second at two sizes: equal rates mean the cost is linear in the text.
void BM_DumpTree(benchmark::State& state) {
    NodeRef const root = sampleTree(int(state.range(0)));
    std::int64_t characters = 0;
    for (auto _ : state) {
        QString const text = Utilities::dump(root, {});
        characters = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetBytesProcessed(state.iterations() * characters);
    state.counters["chars"] = double(characters);
}
BENCHMARK(BM_DumpTree)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

constexpr int RECORD_COUNT = 1000000;

// Baseline: the floats written with raw unformatted writes.
void BM_RawWriteFloats1M(benchmark::State& state) {
    for (auto _ : state) {
        std::stringstream out;
        for (int i = 0; i < RECORD_COUNT; ++i) {
            float const value = float(i);
            out.write(reinterpret_cast<char const*>(&value), sizeof value);
        }
        benchmark::DoNotOptimize(out.tellp());
    }
}
BENCHMARK(BM_RawWriteFloats1M)->Unit(benchmark::kMillisecond);

void BM_SerializeFloats1M(benchmark::State& state) {
    std::vector<DataSA<AT_S_FLOAT>> attributes;
    for (int i = 0; i < 1024; ++i) {
        attributes.emplace_back(nullptr, float(i), gt_none);
    }
    for (auto _ : state) {
        std::stringstream out;
        for (int i = 0; i < RECORD_COUNT; ++i) {
            serializeAttribute(out, attributes[std::size_t(i % 1024)]);
        }
        benchmark::DoNotOptimize(out.tellp());
    }
}
BENCHMARK(BM_SerializeFloats1M)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return bench::runWithRatios(
        argc, argv,
        {{"DataMA<double> of 10,000 to text", "BM_DataMADoubleToText10k",
          "QString::number loop, joined", "BM_QStringNumberJoin10k", 1.5, "#12"},
         {"DataMA<double> of 10,000 from text", "BM_DataMADoubleFromText10k",
          "toDouble loop over split text", "BM_ToDoubleLoop10k", 1.5, "#12"},
         // Linear in the text: the time per character stays the same at ten times the nodes.
         {"dump of 10,000 nodes, per character", "BM_DumpTree/10000", "dump of 1,000 nodes",
          "BM_DumpTree/1000", 2.0, "#12", {}, "chars"},
         {"serializeAttribute of 1,000,000 floats", "BM_SerializeFloats1M",
          "raw write of the floats", "BM_RawWriteFloats1M", 0, "#12"}});
}
