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
    return bench::runWithRatios(argc, argv,
                                {{"BM_DataMADoubleToText10k", "BM_QStringNumberJoin10k", 1.5},
                                 {"BM_DataMADoubleFromText10k", "BM_ToDoubleLoop10k", 1.5},
                                 {"BM_SerializeFloats1M", "BM_RawWriteFloats1M", 0}});
}
