// Packing and unpacking a directory tree (ZipDir, UnzipToDir) against raw zlib deflate and
// inflate of the same bytes at the same level, in the same run.
//
// The tree (mixed text, CSV-like, sparse binary and random data in files of 16 KiB to 8 MiB) is
// generated once per run in a temporary directory: 200 MB by default, or `--size_mb=N`. Each
// "ours" benchmark reports MB/s and x_raw_zlib, its time divided by its baseline's (goal: <= 1.2),
// in wall and CPU time. Unpacking is also compared with inflate plus the CRC-32 check
// (x_raw_zlib_crc, RawZlibInflate/1), the work any zip reader must do.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "qeinteg/data/ZipDir.h"

namespace fs = std::filesystem;

namespace {

struct Corpus {
    std::string root;     // scratch directory of the run
    std::string tree;     // the tree to pack
    std::string archive;  // ZipDir's output
    std::vector<std::string> files;
    std::vector<std::string> deflated;  // raw deflate of each file, for the inflate baseline
    std::size_t totalBytes = 0;
};

Corpus g_corpus;

std::string MakeContent(std::mt19937_64& rng, std::size_t size, int kind) {
    std::string data;
    data.reserve(size + 256);
    switch (kind) {
        case 0: {  // CSV-like rows
            std::uniform_int_distribution<int> id(0, 999999);
            std::normal_distribution<double> value(100.0, 25.0);
            static const char* const kRegions[] = {"north", "south", "east", "west", "central"};
            while (data.size() < size) {
                char line[128];
                const int n = std::snprintf(line, sizeof line, "%d,%s,%.4f,%d\n", id(rng),
                                            kRegions[id(rng) % 5], value(rng), id(rng) % 100);
                data.append(line, static_cast<std::size_t>(n));
            }
            break;
        }
        case 1: {  // repetitive log text
            std::uniform_int_distribution<int> pick(0, 9);
            while (data.size() < size) {
                data += "2026-12-06 11:00:0" + std::to_string(pick(rng)) + " INFO job step " +
                        std::to_string(pick(rng)) + " finished without messages\n";
            }
            break;
        }
        case 2: {  // sparse binary: mostly zeros with doubles scattered in
            data.assign(size, '\0');
            std::uniform_int_distribution<std::size_t> where(0, size > 8 ? size - 8 : 0);
            std::normal_distribution<double> value(0.0, 1.0);
            for (std::size_t i = 0; i < size / 64; ++i) {
                const double v = value(rng);
                std::memcpy(&data[where(rng)], &v, sizeof v);
            }
            break;
        }
        default: {  // incompressible
            while (data.size() < size) {
                const std::uint64_t v = rng();
                data.append(reinterpret_cast<const char*>(&v), sizeof v);
            }
            break;
        }
    }
    data.resize(size);
    return data;
}

std::string ReadAll(const std::string& path) {
    std::string data;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        data.resize(fs::file_size(path));
        data.resize(std::fread(data.data(), 1, data.size(), file));
        std::fclose(file);
    }
    return data;
}

// Raw deflate (no zlib or gzip wrapper, as inside a zip entry) at the default level.
std::string RawDeflate(const std::string& input, z_stream& stream,
                       std::vector<unsigned char>& out) {
    deflateReset(&stream);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream.avail_in = static_cast<uInt>(input.size());
    std::string result;
    int rc = Z_OK;
    do {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        rc = deflate(&stream, Z_FINISH);
        result.append(reinterpret_cast<char*>(out.data()), out.size() - stream.avail_out);
    } while (rc == Z_OK);
    return result;
}

void BuildCorpus(std::size_t totalBytes) {
    char root[] = "/tmp/qeinteg-zipbench-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    g_corpus.root = root;
    g_corpus.tree = g_corpus.root + "/tree";
    g_corpus.archive = g_corpus.root + "/tree.zip";
    std::mt19937_64 rng(20261206);
    std::uniform_real_distribution<double> logSize(std::log(16.0 * 1024), std::log(8.0 * 1048576));
    std::discrete_distribution<int> kind({40, 30, 10, 20});
    std::size_t made = 0;
    for (int i = 0; made < totalBytes; ++i) {
        const std::string dir =
            g_corpus.tree + "/d" + std::to_string(i % 7) + "/s" + std::to_string(i % 3);
        fs::create_directories(dir);
        std::size_t size = static_cast<std::size_t>(std::exp(logSize(rng)));
        size = std::min(size, totalBytes - made);
        const std::string path = dir + "/f" + std::to_string(i) + ".dat";
        std::ofstream(path, std::ios::binary) << MakeContent(rng, size, kind(rng));
        g_corpus.files.push_back(path);
        made += size;
    }
    g_corpus.totalBytes = made;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Process CPU time: on a shared, loaded machine it compares more steadily than wall time.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Timing {
    double wall = 0;
    double cpu = 0;
    std::int64_t rounds = 0;
    double Wall() const { return rounds > 0 ? wall / static_cast<double>(rounds) : 0; }
    double Cpu() const { return rounds > 0 ? cpu / static_cast<double>(rounds) : 0; }
};

// Times one round of work in wall and CPU time.
template <typename Work>
void TimeRound(Timing& timing, Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    work();
    timing.cpu += CpuSeconds() - cpuStart;
    timing.wall += Seconds(std::chrono::steady_clock::now() - start);
    ++timing.rounds;
}

void ReportRatio(benchmark::State& state, const Timing& ours, const Timing& baseline,
                 const std::string& name = "x_raw_zlib") {
    if (baseline.rounds == 0)
        return;
    state.counters[name] = ours.Wall() / baseline.Wall();
    state.counters[name + "_cpu"] = ours.Cpu() / baseline.Cpu();
}

Timing g_deflate;
Timing g_inflate;
// Inflate plus the CRC-32 check that every zip reader must make.
Timing g_inflateCrc;

void BM_RawZlibDeflate(benchmark::State& state) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> out(64 * 1024);
    g_deflate = {};
    for (auto _ : state) {
        std::vector<std::string> deflated;
        // Read from the files, as packing does.
        TimeRound(g_deflate, [&] {
            for (const std::string& path : g_corpus.files) {
                deflated.push_back(RawDeflate(ReadAll(path), stream, out));
            }
        });
        g_corpus.deflated = std::move(deflated);
    }
    deflateEnd(&stream);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(g_corpus.totalBytes));
}

void BM_ZipDir(benchmark::State& state) {
    Timing ours;
    for (auto _ : state) {
        TimeRound(ours, [&] {
            if (!ZipDir(g_corpus.archive, g_corpus.tree))
                state.SkipWithError("ZipDir failed");
        });
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(g_corpus.totalBytes));
    state.counters["archive_MB"] = static_cast<double>(fs::file_size(g_corpus.archive)) / 1e6;
    ReportRatio(state, ours, g_deflate);
}

void PrepareDeflated() {
    if (!g_corpus.deflated.empty())
        return;
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> out(64 * 1024);
    for (const std::string& path : g_corpus.files) {
        g_corpus.deflated.push_back(RawDeflate(ReadAll(path), stream, out));
    }
    deflateEnd(&stream);
}

void PrepareArchive() {
    if (!fs::exists(g_corpus.archive))
        ZipDir(g_corpus.archive, g_corpus.tree);
}

// Arg 0: plain inflate; arg 1: inflate and CRC-32 of the output, as the zip format requires.
void BM_RawZlibInflate(benchmark::State& state) {
    const bool withCrc = state.range(0) != 0;
    Timing& timing = withCrc ? g_inflateCrc : g_inflate;
    PrepareDeflated();
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    std::vector<unsigned char> out(64 * 1024);
    const std::string target = g_corpus.root + "/inflated";
    timing = {};
    uLong crc = 0;
    for (auto _ : state) {
        // New files in a fresh directory, as unpacking makes them (overwriting old files would
        // make the file system free their blocks inside the timing).
        state.PauseTiming();
        fs::remove_all(target);
        fs::create_directory(target);
        state.ResumeTiming();
        std::size_t total = 0;
        TimeRound(timing, [&] {
            for (std::size_t i = 0; i < g_corpus.deflated.size(); ++i) {
                const std::string& input = g_corpus.deflated[i];
                inflateReset(&stream);
                stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
                stream.avail_in = static_cast<uInt>(input.size());
                // Written out to a file, as unpacking does.
                const std::string path = target + "/f" + std::to_string(i);
                std::FILE* file = std::fopen(path.c_str(), "wb");
                int rc = Z_OK;
                do {
                    stream.next_out = out.data();
                    stream.avail_out = static_cast<uInt>(out.size());
                    rc = inflate(&stream, Z_NO_FLUSH);
                    const std::size_t n = out.size() - stream.avail_out;
                    if (withCrc)
                        crc = crc32(crc, out.data(), static_cast<uInt>(n));
                    std::fwrite(out.data(), 1, n, file);
                    total += n;
                } while (rc == Z_OK);
                std::fclose(file);
            }
        });
        if (total != g_corpus.totalBytes)
            state.SkipWithError("inflate lost bytes");
    }
    benchmark::DoNotOptimize(crc);
    inflateEnd(&stream);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(g_corpus.totalBytes));
}

void BM_UnzipToDir(benchmark::State& state) {
    const std::string target = g_corpus.root + "/unpacked";
    PrepareArchive();
    Timing ours;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(target);
        state.ResumeTiming();
        TimeRound(ours, [&] {
            if (!UnzipToDir(g_corpus.archive, target))
                state.SkipWithError("UnzipToDir failed");
        });
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(g_corpus.totalBytes));
    ReportRatio(state, ours, g_inflate);
    ReportRatio(state, ours, g_inflateCrc, "x_raw_zlib_crc");
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t sizeMb = 200;
    int iterations = 3;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--size_mb=", 10) == 0) {
            sizeMb = static_cast<std::size_t>(std::atol(argv[i] + 10));
        } else if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
            iterations = std::max(1, std::atoi(argv[i] + 9));
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());

    BuildCorpus(sizeMb * 1000 * 1000);
    std::fprintf(stderr, "corpus: %zu files, %.1f MB in %s\n", g_corpus.files.size(),
                 static_cast<double>(g_corpus.totalBytes) / 1e6, g_corpus.tree.c_str());

    // Baselines first: each "ours" figure divides by the baseline measured just before it.
    benchmark::RegisterBenchmark("RawZlibDeflate", BM_RawZlibDeflate)
        ->Iterations(iterations)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ZipDir", BM_ZipDir)
        ->Iterations(iterations)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("RawZlibInflate", BM_RawZlibInflate)
        ->Arg(0)
        ->Arg(1)
        ->Iterations(iterations)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("UnzipToDir", BM_UnzipToDir)
        ->Iterations(iterations)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::error_code ignored;
    fs::remove_all(g_corpus.root, ignored);
    return 0;
}
