// Times how long programs take from CreateProcess to their first visible
// window, run after run, interleaved, and prints each run, the medians and
// the ratio of the first program's median to each other's.
//   txstartup RUNS PROGRAM... [--max-ratio=R]
// One round runs every program once, starting one program further on each
// round; a first round warms the caches and is not counted. Each window is
// then closed (WM_CLOSE) and its process awaited. Exit status: 0, 1 when a
// program showed no window, 2 on a bad command line, 3 when the ratio to the
// last program is over R.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/Handles.h"

namespace {

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kExitTimeoutMs = 10000;

struct WindowSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid == search->pid && IsWindowVisible(wnd)) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring Widen(const char* text) {
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<std::size_t>(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(wide.size() - 1);
    return wide;
}

// Milliseconds to the first visible window, or a negative value when none
// came.
double TimeOneStart(const std::wstring& program) {
    std::wstring folder = program;
    const std::size_t slash = folder.find_last_of(L"\\/");
    folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
    std::wstring commandLine = L"\"" + program + L"\"";

    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        std::fprintf(stderr, "cannot start %ls (error %lu)\n", program.c_str(), GetLastError());
        return -1;
    }
    const tx::UniqueHandle process(info.hProcess);
    const tx::UniqueHandle thread(info.hThread);

    WindowSearch search{info.dwProcessId, nullptr};
    double elapsed = 0;
    for (;;) {
        EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&search));
        QueryPerformanceCounter(&now);
        elapsed = Seconds(start, now, frequency) * 1000.0;
        if (search.found != nullptr) break;
        if (elapsed > kWindowTimeoutMs ||
            WaitForSingleObject(process.get(), 1) == WAIT_OBJECT_0) {
            std::fprintf(stderr, "%ls showed no window\n", program.c_str());
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), kExitTimeoutMs);
            return -1;
        }
    }
    PostMessageW(search.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), kExitTimeoutMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "%ls did not end after WM_CLOSE\n", program.c_str());
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), kExitTimeoutMs);
    }
    return elapsed;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

const wchar_t* BaseName(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return path.c_str() + (slash == std::wstring::npos ? 0 : slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::wstring> programs;
    int runs = 0;
    double maxRatio = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--max-ratio=", 0) == 0) {
            maxRatio = std::atof(arg.c_str() + 12);
        } else if (runs == 0) {
            runs = std::atoi(arg.c_str());
        } else {
            programs.push_back(Widen(argv[i]));
        }
    }
    if (runs < 1 || programs.empty()) {
        std::fprintf(stderr, "usage: txstartup RUNS PROGRAM... [--max-ratio=R]\n");
        return 2;
    }

    const std::size_t count = programs.size();
    std::vector<std::vector<double>> times(count);
    for (int round = 0; round <= runs; ++round) {
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t p = (static_cast<std::size_t>(round) + k) % count;
            const double ms = TimeOneStart(programs[p]);
            if (ms < 0) return 1;
            if (round == 0) {
                std::printf("warm-up %ls: %.1f ms\n", BaseName(programs[p]), ms);
            } else {
                std::printf("run %d %ls: %.1f ms\n", round, BaseName(programs[p]), ms);
                times[p].push_back(ms);
            }
            std::fflush(stdout);
        }
    }

    std::vector<double> medians;
    for (std::size_t p = 0; p < count; ++p) {
        medians.push_back(Median(times[p]));
        std::printf("median %ls: %.1f ms over %d runs\n", BaseName(programs[p]), medians[p], runs);
    }
    int status = 0;
    for (std::size_t p = 1; p < count; ++p) {
        const double ratio = medians[p] > 0 ? medians[0] / medians[p] : 0;
        std::printf("ratio %ls / %ls: %.2f\n", BaseName(programs[0]), BaseName(programs[p]), ratio);
        if (maxRatio > 0 && p + 1 == count) {
            const bool met = ratio <= maxRatio;
            std::printf("target %ls <= %.2f x %ls: %s\n", BaseName(programs[0]), maxRatio,
                        BaseName(programs[p]), met ? "met" : "NOT met");
            if (!met) status = 3;
        }
    }
    return status;
}
