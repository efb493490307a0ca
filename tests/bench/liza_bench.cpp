// Decoding throughput of the LIZA decoder on a large coded container of real binaries, beside a
// memcpy of the same unpacked size and the format's own unchecked decoder, all in one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "patcher/liza.h"
#include "patcher/liza_encoder.h"
#include "platform/large_buffer.h"
#include "support/liza_reference.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kSize = size_t{64} << 20;

// The first 64 MiB of the files below /usr/lib, in a fixed order.
const std::vector<uint8_t>& Data() {
    static const std::vector<uint8_t> data = [] {
        std::vector<fs::path> files;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator("/usr/lib",
                                                        fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (!ec && it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        std::vector<uint8_t> out;
        for (const auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            out.insert(out.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (out.size() >= kSize) break;
        }
        out.resize(kSize);
        return out;
    }();
    return data;
}

const std::vector<uint8_t>& Container() {
    static const std::vector<uint8_t> container = LizaPack(Data());
    return container;
}

void BM_LizaUnpack(benchmark::State& state) {
    const auto& c = Container();
    platform::LargeBuffer out(kSize + 65500);
    for (auto _ : state) {
        LizaResult r = LizaUnpack(c, std::span<uint8_t>(out.data(), out.size()));
        if (!r.ok) state.SkipWithError(r.reason);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
    state.counters["ratio"] = static_cast<double>(c.size()) / kSize;
}

void BM_FormatDecoderUnchecked(benchmark::State& state) {
    std::vector<uint8_t> c = Container();
    c.resize(c.size() + 65500);
    platform::LargeBuffer out(kSize + 65500);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReferenceLizaUnpack(c.data(), out.data()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_Memcpy(benchmark::State& state) {
    const auto& data = Data();
    platform::LargeBuffer out(kSize);
    for (auto _ : state) {
        std::memcpy(out.data(), data.data(), kSize);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

BENCHMARK(BM_LizaUnpack)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FormatDecoderUnchecked)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
