// What the journal costs: the installation engine against a plain loop of
// the same CopyFileA calls, round after round, interleaved.
//   txinstallbench WORK FILES SIZE ROUNDS [--reinstall]
// Makes WORK\pkg with a Data folder of FILES files of SIZE bytes and a copy
// of this program as the installer, then times in every round (a) the
// engine, PrepareInstallFolder and Install with no AutoCAD, into a fresh
// folder, and (b) CreateDirectoryA for the two levels and CopyFileA of every
// Data file and of the program. The first round warms the caches and is not
// counted; the targets are deleted between runs, and what the file system
// owes for that committed, untimed. --reinstall also
// times the engine into the folder of its completed installation, which
// backs up and replaces every file. One more engine run, through a file
// system that counts and times its calls, says where the time goes.
// Exit status: 0, 1 when a run fails, 2 on a bad command line.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/InstallEngine.h"
#include "engine/InstallFolder.h"
#include "engine/InstallPlanner.h"
#include "engine/Journal.h"
#include "host/AcadInfo.h"
#include "platform/Log.h"
#include "platform/CodePage.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32FolderSecurity.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32WideText.h"

namespace {

using tx::FileId;
using tx::FindEntry;
using tx::IFileSystem;
using tx::IFindHandle;
using tx::IHeldFile;
using tx::OsResult;

double Now() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / ticksPerMs;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool Fail(const std::string& what) {
    std::printf("failed: %s (error %lu)\n", what.c_str(), GetLastError());
    return false;
}

// Everything below path, and path itself.
bool DeleteTree(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesA(path.c_str(), (attributes & FILE_ATTRIBUTE_DIRECTORY) | FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return DeleteFileA(path.c_str()) != 0;
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name != "." && name != "..") DeleteTree(path + "\\" + name);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return RemoveDirectoryA(path.c_str()) != 0;
}

// The keys an installation makes, so every engine run meets the same
// machine.
void DeleteEngineKeys() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, tx::kUninstallKey);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, tx::kActiveSetupKey);
    RegDeleteTreeA(HKEY_CURRENT_USER, tx::kActiveSetupKey);
}

bool WriteDataFile(const std::string& path, std::uint64_t size, unsigned seed) {
    const tx::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return Fail("create " + path);
    std::vector<unsigned char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(size, 1 << 20)));
    std::uint32_t x = seed * 2654435761u + 1;
    for (unsigned char& b : chunk) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(x >> 24);
    }
    for (std::uint64_t done = 0; done < size;) {
        const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(size - done, chunk.size()));
        DWORD written = 0;
        if (!WriteFile(file.get(), chunk.data(), n, &written, nullptr) || written != n)
            return Fail("write " + path);
        done += n;
    }
    // On the disk before the first round: its writing-back would otherwise
    // fall into the rounds.
    return FlushFileBuffers(file.get()) || Fail("flush " + path);
}

// Commits what the file system still owes for the runs before (deleted
// installations above all), so that no run's first flush pays for it.
void Settle(const std::string& work) {
    const std::string path = work + "\\settle";
    const tx::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file.get(), "x", 1, &written, nullptr);
    FlushFileBuffers(file.get());
}

// Calls and milliseconds per file-system call.
struct Tally {
    long calls = 0;
    double ms = 0;
    double slowest = 0;
};
using Tallies = std::map<std::string, Tally>;

template <class F>
auto Timed(Tallies& tallies, const char* name, F call) -> decltype(call()) {
    const double start = Now();
    auto result = call();
    const double ms = Now() - start;
    Tally& t = tallies[name];
    ++t.calls;
    t.ms += ms;
    t.slowest = std::max(t.slowest, ms);
    return result;
}

class TimedFind final : public IFindHandle {
public:
    TimedFind(std::unique_ptr<IFindHandle> inner, Tallies& tallies)
        : inner_(std::move(inner)), tallies_(tallies) {}
    bool Next(FindEntry* entry) override {
        return Timed(tallies_, "FindNext", [&] { return inner_->Next(entry); });
    }

private:
    std::unique_ptr<IFindHandle> inner_;
    Tallies& tallies_;
};

class TimedFileSystem final : public IFileSystem {
public:
    explicit TimedFileSystem(IFileSystem& inner) : inner_(inner) {}
    Tallies tallies;
    // Each append to the journal in turn: its time, its lines, the kind of
    // its last line.
    struct Append {
        double ms;
        std::size_t lines;
        std::string lastKind;
    };
    std::vector<Append> appends;

    std::string ModulePath() override { return inner_.ModulePath(); }
    std::unique_ptr<IFindHandle> FindFirst(const std::string& pattern, FindEntry* first) override {
        auto h = Timed(tallies, "FindFirst", [&] { return inner_.FindFirst(pattern, first); });
        if (!h) return nullptr;
        return std::make_unique<TimedFind>(std::move(h), tallies);
    }
    std::uint32_t GetAttributes(const std::string& path) override {
        return Timed(tallies, "GetAttributes", [&] { return inner_.GetAttributes(path); });
    }
    OsResult SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return Timed(tallies, "SetAttributes", [&] { return inner_.SetAttributes(path, attributes); });
    }
    OsResult CopyFile(const std::string& source, const std::string& target) override {
        return Timed(tallies, "CopyFile", [&] { return inner_.CopyFile(source, target); });
    }
    OsResult CreateDirectory(const std::string& path) override {
        return Timed(tallies, "CreateDirectory", [&] { return inner_.CreateDirectory(path); });
    }
    std::uint32_t GetEnvironmentVariable(const char* name, char* buffer,
                                         std::uint32_t capacity) override {
        return inner_.GetEnvironmentVariable(name, buffer, capacity);
    }
    std::string CurrentDirectory() override { return inner_.CurrentDirectory(); }
    OsResult RoamingAppDataFolder(std::string* folder) override {
        return inner_.RoamingAppDataFolder(folder);
    }
    OsResult DeleteFile(const std::string& path) override {
        // The download mark's stream apart: it is asked after every copy.
        const bool stream = path.find(':', 2) != std::string::npos;
        return Timed(tallies, stream ? "DeleteFile (stream)" : "DeleteFile",
                     [&] { return inner_.DeleteFile(path); });
    }
    OsResult RemoveDirectory(const std::string& path) override {
        return Timed(tallies, "RemoveDirectory", [&] { return inner_.RemoveDirectory(path); });
    }
    OsResult ReadWholeFile(const std::string& path, std::string* content) override {
        return Timed(tallies, "ReadWholeFile", [&] { return inner_.ReadWholeFile(path, content); });
    }
    OsResult WriteWholeFile(const std::string& path, const std::string& content) override {
        return Timed(tallies, "WriteWholeFile (flushed)",
                     [&] { return inner_.WriteWholeFile(path, content); });
    }
    OsResult ReadProgramImage(std::string* content) override {
        return Timed(tallies, "ReadProgramImage", [&] { return inner_.ReadProgramImage(content); });
    }
    OsResult AppendToFile(const std::string& path, const std::string& text) override {
        const double start = Now();
        const OsResult appended = Timed(tallies, "AppendToFile (flushed)",
                                        [&] { return inner_.AppendToFile(path, text); });
        const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        const std::size_t last = text.rfind('\n', text.size() - 2);
        const std::string lastLine = text.substr(last == std::string::npos ? 0 : last + 1);
        appends.push_back({Now() - start, lines, lastLine.substr(0, lastLine.find('\t'))});
        return appended;
    }
    OsResult MoveFileAtRestart(const std::string& from, const std::string& to) override {
        return Timed(tallies, "MoveFileAtRestart", [&] { return inner_.MoveFileAtRestart(from, to); });
    }
    OsResult RestartOperationPaths(std::vector<std::string>* paths) override {
        return inner_.RestartOperationPaths(paths);
    }
    OsResult FileSize(const std::string& path, std::uint64_t* size) override {
        return Timed(tallies, "FileSize", [&] { return inner_.FileSize(path, size); });
    }
    OsResult FlushFile(const std::string& path) override {
        return Timed(tallies, "FlushFile", [&] { return inner_.FlushFile(path); });
    }
    OsResult ReplaceFile(const std::string& from, const std::string& to) override {
        return Timed(tallies, "ReplaceFile (write-through)",
                     [&] { return inner_.ReplaceFile(from, to); });
    }
    OsResult FileIdentity(const std::string& path, FileId* id) override {
        return Timed(tallies, "FileIdentity", [&] { return inner_.FileIdentity(path, id); });
    }
    OsResult HoldForReading(const std::string& path, std::unique_ptr<IHeldFile>* file) override {
        return Timed(tallies, "HoldForReading", [&] { return inner_.HoldForReading(path, file); });
    }
    OsResult CopyFromHeld(IHeldFile& source, const std::string& target) override {
        return Timed(tallies, "CopyFromHeld", [&] { return inner_.CopyFromHeld(source, target); });
    }

private:
    IFileSystem& inner_;
};

// A run nobody watches; any failed change ends it, undone.
class QuietObserver final : public tx::IInstallObserver {
public:
    tx::CopyFailedAnswer CopyFailed(const std::string&) override { return tx::CopyFailedAnswer::Abort; }
    bool AllOrNothing() override { return true; }
    void NoDataFolder() override {}
    void RestartNeeded() override {}
    void Step() override {}
};

struct Package {
    std::string program;  // the installer's copy, Data beside it
    std::string data;
    std::vector<std::string> names;
};

class Bench {
public:
    Bench(std::string work, Package package)
        : work_(std::move(work)), package_(std::move(package)), codePage_(tx::AnsiCodePageId()) {}

    // Milliseconds of one engine run into chosen + the product's subfolder,
    // or a negative value when it failed. prepareMs: of that, the folder's
    // preparation.
    double Engine(const std::string& chosen, IFileSystem* through = nullptr,
                  double* prepareMs = nullptr) {
        tx::Win32FileSystem real(package_.program);
        IFileSystem& fs = through != nullptr ? *through : real;
        tx::Win32Registry registry;
        tx::Win32WideText wide;
        tx::Win32ProcessList processes;
        tx::Win32FolderSecurity folders;
        tx::NullLog log;
        tx::EngineServices services{fs, registry, wide, codePage_, processes, folders, log};
        services.installDate = "20240101";
        tx::InstallEngine engine(services);
        const tx::CAcadInfo none;
        QuietObserver observer;
        tx::InstallRequest request;
        request.folder = chosen + tx::kProductSubfolder;

        const double start = Now();
        const tx::PreparedFolder prepared = engine.PrepareInstallFolder(chosen, request.folder);
        if (prepareMs != nullptr) *prepareMs = Now() - start;
        if (prepared.readiness != tx::FolderReadiness::Ready) {
            std::printf("failed: the engine refused %s (readiness %d)\n", request.folder.c_str(),
                        static_cast<int>(prepared.readiness));
            return -1;
        }
        request.madeLevels = prepared.created;
        const tx::InstallResult result = engine.Install(none, request, observer);
        const double ms = Now() - start;
        if (result != tx::InstallResult::Completed) {
            std::printf("failed: the engine's run into %s ended %d\n", request.folder.c_str(),
                        static_cast<int>(result));
            return -1;
        }
        return ms;
    }

    double Plain(const std::string& chosen) {
        const std::string folder = chosen + tx::kProductSubfolder;
        const double start = Now();
        bool ok = CreateDirectoryA(chosen.c_str(), nullptr) && CreateDirectoryA(folder.c_str(), nullptr);
        for (std::size_t i = 0; ok && i < package_.names.size(); ++i) {
            const std::string& name = package_.names[i];
            ok = CopyFileA((package_.data + "\\" + name).c_str(), (folder + "\\" + name).c_str(),
                           FALSE) != 0;
        }
        const std::string uninstaller = folder + "\\" + tx::kUninstallerName;
        ok = ok && CopyFileA(package_.program.c_str(), uninstaller.c_str(), FALSE) != 0;
        const double ms = Now() - start;
        if (!ok) {
            Fail("the plain loop into " + folder);
            return -1;
        }
        return ms;
    }

    // Whether an installation holds every Data file, the uninstaller and
    // the journal.
    bool Installed(const std::string& chosen) const {
        const std::string folder = chosen + tx::kProductSubfolder;
        std::vector<std::string> names = package_.names;
        names.push_back(tx::kUninstallerName);
        names.push_back(tx::kJournalFileName);
        for (const std::string& name : names)
            if (GetFileAttributesA((folder + "\\" + name).c_str()) == INVALID_FILE_ATTRIBUTES)
                return Fail("no " + folder + "\\" + name);
        return true;
    }

    void Clean(const std::string& chosen) {
        if (!DeleteTree(chosen)) std::printf("left: %s (error %lu)\n", chosen.c_str(), GetLastError());
        DeleteEngineKeys();
        Settle(work_);
    }

private:
    std::string work_;
    Package package_;
    tx::CodePage codePage_;
};

bool MakePackage(const std::string& work, long files, std::uint64_t size, Package* package) {
    const std::string root = work + "\\pkg";
    DeleteTree(root);
    CreateDirectoryA(work.c_str(), nullptr);
    package->data = root + "\\Data";
    package->program = root + "\\SetUp.exe";
    if (!CreateDirectoryA(root.c_str(), nullptr)) return Fail("make " + root);
    if (!CreateDirectoryA(package->data.c_str(), nullptr)) return Fail("make " + package->data);
    char self[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return Fail("own name");
    if (!CopyFileA(self, package->program.c_str(), FALSE)) return Fail("copy to " + package->program);
    for (long i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file%05ld.dat", i);
        package->names.push_back(name);
        if (!WriteDataFile(package->data + "\\" + name, size, static_cast<unsigned>(i))) return false;
    }
    return true;
}

void PrintTallies(const char* what, double totalMs, double prepareMs, const TimedFileSystem& fs) {
    std::vector<std::pair<std::string, Tally>> sorted(fs.tallies.begin(), fs.tallies.end());
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.second.ms > b.second.ms; });
    double calls = 0;
    std::printf("%s through a file system that times its calls: %.1f ms\n", what, totalMs);
    std::printf("  %-28s %8s %10s %12s\n", "call", "calls", "ms", "slowest ms");
    std::printf("  %-28s %8d %10.1f\n", "PrepareInstallFolder", 1, prepareMs);
    for (const auto& [name, t] : sorted) {
        std::printf("  %-28s %8ld %10.1f %12.1f\n", name.c_str(), t.calls, t.ms, t.slowest);
        calls += t.ms;
    }
    std::printf("  %-28s %8s %10.1f\n", "rest (plan, registry, ...)", "", totalMs - prepareMs - calls);
    // The journal's appends in turn; of many, the first three and the slowest.
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < fs.appends.size() && i < 3; ++i) shown.push_back(i);
    if (fs.appends.size() > 6) {
        std::vector<std::size_t> order(fs.appends.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return fs.appends[a].ms > fs.appends[b].ms; });
        for (std::size_t k = 0; k < 3; ++k)
            if (order[k] >= 3) shown.push_back(order[k]);
        std::sort(shown.begin(), shown.end());
    } else {
        for (std::size_t i = 3; i < fs.appends.size(); ++i) shown.push_back(i);
    }
    for (std::size_t i : shown) {
        const auto& a = fs.appends[i];
        std::printf("  append %zu of %zu: %zu line(s), the last %s: %.1f ms\n", i + 1,
                    fs.appends.size(), a.lines, a.lastKind.c_str(), a.ms);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    bool reinstall = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reinstall")
            reinstall = true;
        else
            args.push_back(arg);
    }
    const long files = args.size() == 4 ? std::atol(args[1].c_str()) : 0;
    const long long size = args.size() == 4 ? std::atoll(args[2].c_str()) : 0;
    const int rounds = args.size() == 4 ? std::atoi(args[3].c_str()) : 0;
    if (files < 1 || size < 0 || rounds < 2) {
        std::fprintf(stderr, "usage: txinstallbench WORK FILES SIZE ROUNDS [--reinstall]\n"
                             "  WORK: a folder to make the package and the installations in\n"
                             "  ROUNDS: at least 2, the first one is not counted\n");
        return 2;
    }
    const std::string work = args[0];
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    std::printf("package: %ld files of %lld bytes\n", files, size);
    Package package;
    if (!MakePackage(work, files, static_cast<std::uint64_t>(size), &package)) return 1;
    Bench bench(work, package);
    const std::string engineTarget = work + "\\engine";
    const std::string plainTarget = work + "\\plain";
    bench.Clean(engineTarget);
    bench.Clean(plainTarget);

    std::vector<double> engineMs, plainMs, reinstallMs;
    for (int round = 0; round < rounds; ++round) {
        double engine = 0, plain = 0, again = 0;
        // Each goes first every other round.
        for (int k = 0; k < 2; ++k) {
            if ((round + k) % 2 == 0) {
                engine = bench.Engine(engineTarget);
                if (engine < 0 || !bench.Installed(engineTarget)) return 1;
                if (reinstall) {
                    again = bench.Engine(engineTarget);
                    if (again < 0 || !bench.Installed(engineTarget)) return 1;
                }
                bench.Clean(engineTarget);
            } else {
                plain = bench.Plain(plainTarget);
                if (plain < 0) return 1;
                bench.Clean(plainTarget);
            }
        }
        std::printf("%s %d: engine %.1f ms, plain %.1f ms", round == 0 ? "warm-up" : "round", round,
                    engine, plain);
        if (reinstall) std::printf(", reinstall %.1f ms", again);
        std::printf("\n");
        if (round == 0) continue;
        engineMs.push_back(engine);
        plainMs.push_back(plain);
        reinstallMs.push_back(again);
    }

    const double engine = Median(engineMs);
    const double plain = Median(plainMs);
    std::printf("median engine: %.1f ms\n", engine);
    std::printf("median plain: %.1f ms\n", plain);
    if (reinstall) {
        std::printf("median reinstall: %.1f ms\n", Median(reinstallMs));
        std::printf("reinstall / plain: %.2f (no target: every file is backed up first)\n",
                    Median(reinstallMs) / plain);
    }
    std::printf("ratio engine / plain (%ld x %lld B): %.2f\n", files, size, engine / plain);
    // On a busy machine the fastest rounds are the least disturbed.
    const double fastestEngine = *std::min_element(engineMs.begin(), engineMs.end());
    const double fastestPlain = *std::min_element(plainMs.begin(), plainMs.end());
    std::printf("fastest engine %.1f ms, fastest plain %.1f ms: %.2f\n", fastestEngine, fastestPlain,
                fastestEngine / fastestPlain);

    // Where the engine's time goes: one more run through the counting file
    // system (which adds its own little), not part of the figures above.
    tx::Win32FileSystem real(package.program);
    TimedFileSystem timed(real);
    double prepareMs = 0;
    const double total = bench.Engine(engineTarget, &timed, &prepareMs);
    if (total < 0) return 1;
    PrintTallies("engine run", total, prepareMs, timed);
    if (reinstall) {
        TimedFileSystem again(real);
        const double totalAgain = bench.Engine(engineTarget, &again, &prepareMs);
        if (totalAgain < 0) return 1;
        PrintTallies("reinstall run", totalAgain, prepareMs, again);
    }
    bench.Clean(engineTarget);
    DeleteTree(work + "\\pkg");
    DeleteFileA((work + "\\settle").c_str());
    return 0;
}
