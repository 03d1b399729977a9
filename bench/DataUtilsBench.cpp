// Costs of the small text functions against the plain operation they wrap, measured in one run.
#include <benchmark/benchmark.h>

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"

namespace {

// Tracing off: WriteLog should cost about as much as a call that does nothing.
void BM_WriteLogOff(benchmark::State& state) {
    const std::string line = "QE Analytic Root: /tmp/analytic-root/";
    for (auto _ : state)
        WriteLog(line);
}
BENCHMARK(BM_WriteLogOff);

__attribute__((noinline)) void Nothing(const std::string& line) {
    benchmark::DoNotOptimize(line);
}

void BM_EmptyCallBaseline(benchmark::State& state) {
    const std::string line = "QE Analytic Root: /tmp/analytic-root/";
    for (auto _ : state)
        Nothing(line);
}
BENCHMARK(BM_EmptyCallBaseline);

// A variable label with accented letters, host code page windows-1252.
const char* const kLabel =
    "Durchschnittliche Gr\xf6\xdf"
    "e der Haushalte (\x80, gewichtet)";

void BM_TranscodeToUTF8_1252(benchmark::State& state) {
    qehost::testing::SetCodePage("windows-1252");
    for (auto _ : state)
        benchmark::DoNotOptimize(transcodeToUTF8(kLabel));
    qehost::testing::SetCodePage("UTF-8");
}
BENCHMARK(BM_TranscodeToUTF8_1252);

void BM_TranscodeToUTF8_Ascii(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(transcodeToUTF8("Average household size"));
}
BENCHMARK(BM_TranscodeToUTF8_Ascii);

// The same work done the plain way: the same label from windows-1252 into a new UTF-8 string with
// one iconv call (the converter opened once, outside the loop).
void BM_TranscodeIconvBaseline(benchmark::State& state) {
    iconv_t converter = iconv_open("UTF-8", "WINDOWS-1252");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv cannot convert from WINDOWS-1252");
        return;
    }
    const size_t length = std::strlen(kLabel);
    for (auto _ : state) {
        std::string out(length * 3, '\0');
        char* in = const_cast<char*>(kLabel);
        size_t inLeft = length;
        char* outPtr = out.data();
        size_t outLeft = out.size();
        iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.resize(out.size() - outLeft);
        benchmark::DoNotOptimize(out);
    }
    iconv_close(converter);
}
BENCHMARK(BM_TranscodeIconvBaseline);

void BM_ConvertObsValToStr(benchmark::State& state) {
    OBS value;
    value.f = 1.0 / 3.0;
    std::string text;
    for (auto _ : state) {
        ConvertObsValToStr(&value, 0, text);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ConvertObsValToStr);

void BM_SnprintfBaseline(benchmark::State& state) {
    double value = 1.0 / 3.0;
    char buffer[64];
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "%-.15g", value));
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_SnprintfBaseline);

}  // namespace

BENCHMARK_MAIN();
