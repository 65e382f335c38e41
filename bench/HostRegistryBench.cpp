// Detection and the trusted-path update on large synthetic registries.
//
// Time is the host logic plus the in-memory registry; the counters come from
// the registry's own call counts: keys visited (handles handed out) and
// registry calls per key visited, per iteration.
#include <benchmark/benchmark.h>

#include <string>

#include "host/AcadDetector.h"
#include "host/HostRegistrar.h"
#include "tests/fakes/FakeRegistry.h"

namespace tx {
namespace {

constexpr RegRoot kHklm = RegRoot::LocalMachine;
constexpr RegRoot kHkcu = RegRoot::CurrentUser;
const std::string kNative = "SOFTWARE\\Autodesk\\AutoCAD\\";
const std::string kWow = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\";
const std::string kOldTrusted = "C:\\Program Files\\Autodesk\\ApplicationPlugins;D:\\Lisp\\...";

std::string ReleaseKey(int i) { return "R" + std::to_string(17 + i / 3) + "." + std::to_string(i % 3); }
std::string ProductKey(int j) { return "ACAD-" + std::to_string(1000 + j) + ":804"; }

int Entries(const CAcadInfo& info) {
    int n = 0;
    for (const auto& list : info.m_arrProductKey) n += static_cast<int>(list.size());
    return n;
}

// Per iteration, from the registry's counters.
void Report(benchmark::State& state, const FakeRegistry& reg, std::uint64_t issuedBefore,
            std::uint64_t iterations) {
    const double visited = double(reg.HandlesIssued() - issuedBefore) / double(iterations);
    const double calls = double(reg.Calls().Total()) / double(iterations);
    state.counters["keys_visited"] = visited;
    state.counters["calls"] = calls;
    state.counters["calls_per_key"] = calls / visited;
    state.counters["keys_in_registry"] = double(reg.KeyCount());
}

// 18 releases x 50 product keys in the native tree, 3 x 50 in the 32-bit tree.
void BM_DetectWide(benchmark::State& state) {
    FakeRegistry reg;
    const int products = static_cast<int>(state.range(0));
    for (int i = 0; i < kReleaseCount; ++i) {
        for (int j = 0; j < products; ++j) {
            const std::string key = ReleaseKey(i) + "\\" + ProductKey(j);
            const std::string name = std::string("AutoCAD ") + kReleases[i].yearText + " - 简体中文";
            reg.SetString(kHklm, kNative + key, "AcadLocation", "C:\\Program Files\\AutoCAD " + key);
            reg.SetString(kHklm, kNative + key, "ProductName", name);
            if (kReleases[i].in32BitTree) {
                reg.SetString(kHklm, kWow + key, "AcadLocation", "C:\\Program Files (x86)\\" + key);
                reg.SetString(kHklm, kWow + key, "ProductName", name);
            }
        }
    }
    CodePage cp(936);
    AcadDetector detector(reg, cp);
    reg.ResetCalls();
    const std::uint64_t issued = reg.HandlesIssued();
    int found = 0;
    for (auto _ : state) {
        CAcadInfo info;
        detector.DetectAcadReleases(info);
        found = Entries(info);
        benchmark::DoNotOptimize(found);
    }
    if (found != (kReleaseCount + 3) * products) state.SkipWithError("wrong number of installations");
    Report(state, reg, issued, state.iterations());
    state.counters["installations"] = found;
}
BENCHMARK(BM_DetectWide)->Arg(50)->Iterations(20)->Unit(benchmark::kMillisecond);

// One release key above a tree of 100,000 keys, filled breadth-first with
// ten subkeys per key; every 1000th key holds both values, so the walks
// must visit the whole tree.
void BM_DetectDeepTree(benchmark::State& state) {
    FakeRegistry reg;
    const int total = static_cast<int>(state.range(0));
    const std::string release = kNative + "R24.3";
    std::vector<std::string> paths;
    paths.reserve(total);
    for (int k = 0; k < total; ++k) {
        const std::string parent = k < 10 ? release : paths[k / 10 - 1];
        paths.push_back(parent + "\\K" + std::to_string(k % 10));
    }
    int seeded = 0;
    for (int k = 0; k < total; ++k) {
        reg.CreatePath(kHklm, paths[k]);
        if (k % 1000 == 999 && k * 10 + 10 >= total) {  // a leaf
            reg.SetString(kHklm, paths[k], "AcadLocation", "C:\\AutoCAD " + std::to_string(k));
            reg.SetString(kHklm, paths[k], "ProductName", "AutoCAD 2024");
            ++seeded;
        }
    }
    CodePage cp(936);
    AcadDetector detector(reg, cp);
    reg.ResetCalls();
    const std::uint64_t issued = reg.HandlesIssued();
    int found = 0;
    for (auto _ : state) {
        CAcadInfo info;
        detector.DetectAcadReleases(info);
        found = Entries(info);
        benchmark::DoNotOptimize(found);
    }
    if (found != seeded) state.SkipWithError("wrong number of installations");
    Report(state, reg, issued, state.iterations());
    state.counters["installations"] = found;
}
BENCHMARK(BM_DetectDeepTree)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

// 18 releases x 50 product keys x 20 profiles below HKEY_CURRENT_USER.
void SeedProfiles(FakeRegistry& reg, int products, int profiles) {
    for (int i = 0; i < kReleaseCount; ++i)
        for (int j = 0; j < products; ++j)
            for (int p = 0; p < profiles; ++p)
                reg.SetString(kHkcu,
                              kNative + ReleaseKey(i) + "\\" + ProductKey(j) + "\\Profiles\\Profile" +
                                  std::to_string(p) + "\\Variables",
                              "TRUSTEDPATHS", kOldTrusted);
}

// First installation: the folder is appended everywhere.
void BM_TrustedPathsFirstInstall(benchmark::State& state) {
    FakeRegistry reg;
    SeedProfiles(reg, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    CodePage cp(936);
    FakeWideText wide(936);
    HostRegistrar registrar(reg, cp, wide);
    const std::string folder = "C:\\Program Files\\Tarnix批打印软件";
    reg.ResetCalls();
    const std::uint64_t issued = reg.HandlesIssued();
    for (auto _ : state) {
        state.PauseTiming();
        SeedProfiles(reg, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
        state.ResumeTiming();
        registrar.AddTrustedPath(folder);
    }
    const auto sample = reg.GetString(kHkcu,
                                      kNative + ReleaseKey(0) + "\\" + ProductKey(0) +
                                          "\\Profiles\\Profile0\\Variables",
                                      "TRUSTEDPATHS");
    if (!sample || sample->find(";C:\\PROGRAM FILES\\TARNIX") == std::string::npos)
        state.SkipWithError("folder not added");
    Report(state, reg, issued, state.iterations());
    state.counters["profiles"] = double(kReleaseCount * state.range(0) * state.range(1));
}
BENCHMARK(BM_TrustedPathsFirstInstall)->Args({50, 20})->Iterations(3)->Unit(benchmark::kMillisecond);

// Installing again: the folder is found in every value, and none is written.
void BM_TrustedPathsReinstall(benchmark::State& state) {
    FakeRegistry reg;
    SeedProfiles(reg, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    CodePage cp(936);
    FakeWideText wide(936);
    HostRegistrar registrar(reg, cp, wide);
    const std::string folder = "C:\\Program Files\\Tarnix批打印软件";
    registrar.AddTrustedPath(folder);
    reg.ResetCalls();
    const std::uint64_t issued = reg.HandlesIssued();
    for (auto _ : state) registrar.AddTrustedPath(folder);
    if (reg.Calls().setValueWide != 0) state.SkipWithError("a value needing no change was written");
    Report(state, reg, issued, state.iterations());
}
BENCHMARK(BM_TrustedPathsReinstall)->Args({50, 20})->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tx

BENCHMARK_MAIN();
