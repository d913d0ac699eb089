// Parse throughput of the file index on a generated 100,000-line index.
#include <benchmark/benchmark.h>

#include <string>

#include "format/file_list.h"

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

// Parses the index the way LoadFileList does: the body arrives sized exactly to its length, and
// the parser closes it with zero bytes and cuts it in place. With `reuseList` the entry list keeps
// its capacity between iterations, which measures the parser alone; without it every iteration
// also pays for first touching the list's memory (100,000 records of 388 bytes).
void ParseIndex(benchmark::State& state, bool reuseList) {
    const std::string index = MakeIndex(100000);
    tessaly::EntryList entries;
    for (auto _ : state) {
        state.PauseTiming();
        tessaly::ByteBuffer body(index.begin(), index.end());
        if (reuseList) {
            entries.clear();
        } else {
            tessaly::EntryList().swap(entries);
        }
        state.ResumeTiming();
        tessaly::ParseFileList(body, entries);
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(index.size()));
    state.counters["entries"] = static_cast<double>(entries.size());
    state.counters["index_bytes"] = static_cast<double>(index.size());
}
BENCHMARK_CAPTURE(ParseIndex, reused_list, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ParseIndex, fresh_list, false)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
