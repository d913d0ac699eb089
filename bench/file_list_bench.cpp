// Parse throughput of the file index on a generated 100,000-line index.
#include <benchmark/benchmark.h>

#include <string>

#include "package/file_list.h"

namespace {

std::string MakeIndex(int lines) {
    std::string text;
    text.reserve(static_cast<std::size_t>(lines) * 80);
    for (int i = 0; i < lines; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 10) {
            case 0:
                text += "1|data\\d" + n + "|\r\n";
                break;
            case 9:
                text += "2|bin\\tool" + n + ".exe|Tool " + n + "\r\n";
                break;
            default:
                text += "0|objects/3f/5a9c0e1b7d2e4a6f8b1c3d5e7f9a0b2c4d6e8f" + n + "|data\\d" + n +
                        "\\file" + n + ".dat\r\n";
        }
    }
    return text;
}

void BM_ParseFileList(benchmark::State& state) {
    const std::string index = MakeIndex(100000);
    std::size_t entryCount = 0;
    for (auto _ : state) {
        state.PauseTiming();
        tessaly::ByteBuffer body(index.begin(), index.end());
        tessaly::EntryList entries;
        state.ResumeTiming();
        tessaly::ParseFileList(body, entries);
        entryCount = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(index.size()));
    state.counters["entries"] = static_cast<double>(entryCount);
    state.counters["index_bytes"] = static_cast<double>(index.size());
}
BENCHMARK(BM_ParseFileList)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
