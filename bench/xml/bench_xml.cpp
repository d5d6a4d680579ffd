// Cost of the XML helper on a playlist-sized document: parse, one-pass child
// index against per-name sibling scans, and writing the text.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/xml/Xml.h"

namespace {

// A document shaped like the playlist file: one group of `items` numbered
// elements with a dozen attributes each.
std::string makeDocument(int items) {
    std::string text = "<?xml version=\"1.0\"?>\n<playlist>\n  <group1 name=\"list\">\n";
    for (int i = 0; i < items; ++i) {
        text += "    <item" + std::to_string(i) + " FileName=\"/music/artist/album/track " +
                std::to_string(i) +
                ".mp3\" FileSize=\"4823121\" SampleRate=\"44100\" BitRate=\"192\" Duration=\"201000\" "
                "Channels=\"2\" Title=\"Title " +
                std::to_string(i) +
                "\" Artist=\"Artist\" Album=\"Album\" Year=\"2001\" Genre=\"Pop\" Track=\"3\" />\n";
    }
    text += "  </group1>\n</playlist>\n";
    return text;
}

void BM_Parse(benchmark::State& state) {
    const std::string text = makeDocument(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        qxml::Document doc;
        benchmark::DoNotOptimize(doc.loadText(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_IndexedLookups(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    qxml::Document doc;
    doc.loadText(makeDocument(items));
    const pugi::xml_node group = qxml::findChild(doc.documentElement(), "group1");
    for (auto _ : state) {
        const qxml::ChildIndex index(group);
        for (int i = 0; i < items; ++i) benchmark::DoNotOptimize(index.find("item" + std::to_string(i)));
    }
}

void BM_ScanningLookups(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    qxml::Document doc;
    doc.loadText(makeDocument(items));
    const pugi::xml_node group = qxml::findChild(doc.documentElement(), "group1");
    for (auto _ : state) {
        for (int i = 0; i < items; ++i)
            benchmark::DoNotOptimize(qxml::findChild(group, "item" + std::to_string(i)));
    }
}

void BM_ToText(benchmark::State& state) {
    qxml::Document doc;
    doc.loadText(makeDocument(static_cast<int>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(doc.toText());
}

}  // namespace

BENCHMARK(BM_Parse)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexedLookups)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanningLookups)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToText)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
