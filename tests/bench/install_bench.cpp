// The full-client installer's throughput beside the command-line tools, in the same run: the
// downloader against "curl" on one file from a loopback HTTPS server, and the extractor against
// "unzip" on one archive of at least 1 GB of mixed compressible and incompressible files, all in
// /dev/shm. Also the extractor's resident memory while it runs.
//   build/bin/install_bench
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "installer/decompressor.h"
#include "installer/ftp_download.h"
#include "support/https_server.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

double Best(int rounds, const auto& run) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) best = std::min(best, run());
    return best;
}

}  // namespace

int main() {
    fs::path work = fs::path("/dev/shm") / ("orl-install-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    std::mt19937_64 rng(1);
    // 1 GiB of incompressible bytes in four files, and 256 MiB of text.
    std::vector<ZipEntry> entries;
    for (int i = 0; i < 4; ++i) {
        std::string noise(size_t{256} << 20, '\0');
        for (size_t j = 0; j + 8 <= noise.size(); j += 8) {
            uint64_t v = rng();
            std::memcpy(noise.data() + j, &v, 8);
        }
        entries.push_back({"data/noise" + std::to_string(i) + ".pak", std::move(noise), true});
    }
    std::string text;
    while (text.size() < (size_t{256} << 20))
        text += "Velmora client data line " + std::to_string(text.size() % 9973) + "\n";
    entries.push_back({"data/text.cfg", std::move(text)});
    std::string zip = (work / "client.zip").string();
    WriteZip(zip, entries);
    entries.clear();
    uint64_t archiveBytes = fs::file_size(zip);
    uint64_t unpackedBytes = SumUncompressedSizes(zip);

    // Download: the same file from the same server, by the downloader and by curl.
    std::string body;
    {
        std::ifstream in(zip, std::ios::binary);
        body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    HttpsServer server;
    server.Serve("/full/client.zip", std::move(body));
    fs::create_directories(work / "dl");
    double ours = Best(3, [&] {
        CFTPDownload d;
        auto start = Clock::now();
        d.AddAndStart({server.Root(), "full", "client.zip", (work / "dl").string(), {}});
        while (!d.IsDone()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        double s = Seconds(start);
        if (!d.AllSucceeded()) std::fprintf(stderr, "download failed\n");
        fs::remove(work / "dl/client.zip");
        return s;
    });
    std::string curl = "curl -s -o " + (work / "dl/curl.zip").string() + " --cacert " + TestAuthorityFile() +
                       " " + server.Root() + "/full/client.zip";
    double theirs = Best(3, [&] {
        auto start = Clock::now();
        if (std::system(curl.c_str()) != 0) std::fprintf(stderr, "curl failed\n");
        double s = Seconds(start);
        fs::remove(work / "dl/curl.zip");
        return s;
    });
    std::printf(
        "download of %.0f MB: downloader %.2f s, curl %.2f s; rate ratio %.2f (goal: at least 0.95)\n",
        archiveBytes / 1e6, ours, theirs, theirs / ours);

    // Extraction: the same archive by the extractor and by unzip.
    long peakGrowth = 0;
    double extract = Best(3, [&] {
        fs::remove_all(work / "x");
        CDecompressor d;
        long before = ResidentKiB();
        auto start = Clock::now();
        d.Start(zip, (work / "x").string());
        while (!d.IsDone()) {
            peakGrowth = std::max(peakGrowth, ResidentKiB() - before);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        double s = Seconds(start);
        if (!d.Succeeded()) std::fprintf(stderr, "extraction failed\n");
        return s;
    });
    std::string unzip = "unzip -q -o " + zip + " -d " + (work / "u").string();
    double unzipped = Best(3, [&] {
        fs::remove_all(work / "u");
        auto start = Clock::now();
        if (std::system(unzip.c_str()) != 0) std::fprintf(stderr, "unzip failed\n");
        return Seconds(start);
    });
    std::printf(
        "extraction of %.0f MB: extractor %.2f s, unzip %.2f s; rate ratio %.2f (goal: at least 1.00)\n",
        unpackedBytes / 1e6, extract, unzipped, unzipped / extract);
    std::printf("extractor resident memory growth while unpacking: %ld KiB\n", peakGrowth);
    fs::remove_all(work);
    return 0;
}
