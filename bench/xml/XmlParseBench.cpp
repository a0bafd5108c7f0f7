// Parse speed of CXmlDocument: a 10 MB response-like document, and documents
// nested 100,000 levels deep (closed, and left open so every element ends
// with its start tag).

#include "XmlBenchDocuments.h"
#include "online/XmlDocument.h"

#include <benchmark/benchmark.h>

namespace {

void ParseLoop(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        online::CXmlDocument doc;
        benchmark::DoNotOptimize(doc.SetDocumentText(text));
        benchmark::DoNotOptimize(doc.ElementCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    online::CXmlDocument doc(text);
    state.counters["elements"] = static_cast<double>(doc.ElementCount());
}

void BM_ParseFlatDocument(benchmark::State& state) {
    ParseLoop(state, bench::MakeFlatDocument(static_cast<std::size_t>(state.range(0)) << 20));
}
BENCHMARK(BM_ParseFlatDocument)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_ParseNestedDocument(benchmark::State& state) {
    ParseLoop(state, bench::MakeNestedDocument(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ParseNestedDocument)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_ParseNestedLeftOpen(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < state.range(0); ++i) {
        text += "<n>";
    }
    ParseLoop(state, text);
}
BENCHMARK(BM_ParseNestedLeftOpen)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);

// Builds a request of many children the way the protocol does, one append each.
void BM_AppendChildren(benchmark::State& state) {
    for (auto _ : state) {
        online::CXmlDocument doc("<?xml version=\"1.0\"?>\n<request></request>");
        doc.FindElement("request");
        for (int i = 0; i < state.range(0); ++i) {
            doc.AppendChildElement("image", "IMG_0001.jpg", true);
        }
        benchmark::DoNotOptimize(doc.GetDocumentText().size());
    }
}
BENCHMARK(BM_AppendChildren)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
