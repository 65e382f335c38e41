#include "engine/CommandLine.h"

#include <algorithm>
#include <cstddef>

namespace tx {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Case-insensitive: does token (without its '/' or '-') start with name?
bool StartsWithNoCase(const std::string& token, std::size_t from, const char* name) {
    std::size_t i = from;
    for (const char* p = name; *p != '\0'; ++p, ++i) {
        if (i >= token.size() || AsciiUpper(token[i]) != *p) return false;
    }
    return true;
}

bool EqualsNoCase(const std::string& token, std::size_t from, const char* name) {
    std::size_t length = 0;
    while (name[length] != '\0') ++length;
    return token.size() - from == length && StartsWithNoCase(token, from, name);
}

// Quotes anywhere in a token group words and are dropped, as the shell's own
// splitting does; backslashes stay as they are, so a folder ending in "\" can
// be given quoted.
std::string NextToken(const std::string& s, std::size_t* pos) {
    std::string token;
    bool quoted = false;
    std::size_t i = *pos;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (IsSpace(c) && !quoted) {
            break;
        } else {
            token += c;
        }
    }
    *pos = i;
    return token;
}

std::string Trimmed(const std::string& s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && IsSpace(s[begin])) ++begin;
    while (end > begin && IsSpace(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

// The rest of the line after /D=: spaces kept, quotes dropped ('"' cannot
// be part of a Windows path anyway).
std::string FolderValue(const std::string& rest) {
    std::string value;
    for (char c : rest) {
        if (c != '"') value += c;
    }
    return Trimmed(value);
}

bool ParseYears(const std::string& list, std::vector<int>* years, std::string* error) {
    std::size_t start = 0;
    while (true) {
        std::size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos
                                                                                 : comma - start);
        if (item.size() != 4 || !std::all_of(item.begin(), item.end(),
                                             [](char c) { return c >= '0' && c <= '9'; })) {
            *error = "/RELEASES= 的年份格式不正确: \"" + item + "\"";
            return false;
        }
        const int year = std::stoi(item);
        if (ReleaseIndexOfYear(year) < 0) {
            *error = "/RELEASES= 的年份不在2007至2024之间: " + item;
            return false;
        }
        if (std::find(years->begin(), years->end(), year) == years->end()) years->push_back(year);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

CommandLine Failed(std::string reason) {
    CommandLine line;
    line.ok = false;
    line.error = std::move(reason);
    return line;
}

}  // namespace

CommandLine ParseSwitches(const std::string& arguments, ProgramRole role);

std::string ArgumentsOf(const std::string& full) {
    std::size_t i = 0;
    while (i < full.size() && IsSpace(full[i])) ++i;
    if (i < full.size() && full[i] == '"') {
        const std::size_t close = full.find('"', i + 1);
        i = close == std::string::npos ? full.size() : close + 1;
    } else {
        while (i < full.size() && !IsSpace(full[i])) ++i;
    }
    while (i < full.size() && IsSpace(full[i])) ++i;
    return full.substr(i);
}

CommandLine ParseCommandLine(const std::string& arguments, ProgramRole role) {
    CommandLine line = ParseSwitches(arguments, role);
    // A line that cannot be read may still ask for silence: a deployment
    // tool must never be left waiting on a message box.
    if (!line.ok) line.silent = SilentRequested(arguments);
    return line;
}

CommandLine ParseSwitches(const std::string& arguments, ProgramRole role) {
    CommandLine line;
    std::size_t pos = 0;
    while (true) {
        while (pos < arguments.size() && IsSpace(arguments[pos])) ++pos;
        if (pos >= arguments.size()) break;

        const std::size_t tokenStart = pos;
        // A deployment tool may quote a whole switch.
        const std::size_t at = arguments[pos] == '"' ? pos + 1 : pos;
        const bool switchChar = at < arguments.size() && (arguments[at] == '/' || arguments[at] == '-');
        // /D= runs to the end of the line, so it is cut out before splitting.
        if (switchChar && StartsWithNoCase(arguments, at + 1, "D=")) {
            if (role != ProgramRole::Installer) return Failed("卸载程序不接受 /D= 参数");
            line.hasFolder = true;
            line.folder = FolderValue(arguments.substr(at + 3));
            if (line.folder.empty()) return Failed("/D= 后缺少安装路径");
            break;
        }

        const std::string token = NextToken(arguments, &pos);
        if (!switchChar || token.size() < 2) {
            return Failed("无法识别的参数: " + arguments.substr(tokenStart, pos - tokenStart));
        }
        if (EqualsNoCase(token, 1, "?")) {
            line.help = true;
        } else if (EqualsNoCase(token, 1, "S")) {
            line.silent = true;
        } else if (EqualsNoCase(token, 1, "USER") && role == ProgramRole::Uninstaller) {
            // Only the copy in the installation folder knows that folder.
            line.perUser = true;
        } else if (StartsWithNoCase(token, 1, "LOG=")) {
            line.hasLog = true;
            line.logFile = token.substr(5);
            if (line.logFile.empty()) return Failed("/LOG= 后缺少日志文件名");
        } else if (StartsWithNoCase(token, 1, "RELEASES=") && role == ProgramRole::Installer) {
            const std::string value = token.substr(10);
            line.hasReleases = true;
            line.releaseYears.clear();
            if (EqualsNoCase(value, 0, "ALL")) {
                line.allReleases = true;
            } else {
                line.allReleases = false;
                std::string error;
                if (!ParseYears(value, &line.releaseYears, &error)) return Failed(error);
            }
        } else {
            return Failed("无法识别的参数: " + token);
        }
    }

    // The per-user step takes only a log; it has no folder or release of its own.
    if (line.perUser && (line.hasFolder || line.hasReleases)) {
        return Failed("/USER 不能与 /D= 或 /RELEASES= 同时使用");
    }
    return line;
}

bool SilentRequested(const std::string& arguments) {
    std::size_t pos = 0;
    while (true) {
        while (pos < arguments.size() && IsSpace(arguments[pos])) ++pos;
        if (pos >= arguments.size()) return false;
        const std::string token = NextToken(arguments, &pos);
        if (token.size() >= 3 && (token[0] == '/' || token[0] == '-') &&
            StartsWithNoCase(token, 1, "D=")) {
            return false;  // the rest is the folder
        }
        if (token.size() == 2 && (token[0] == '/' || token[0] == '-') && AsciiUpper(token[1]) == 'S')
            return true;
    }
}

TickFlags RequestedTicks(const CommandLine& line, const TickFlags& detected,
                         std::vector<int>* skipped) {
    TickFlags ticks{};
    if (!line.hasReleases || line.allReleases) {
        for (int i = 0; i < kReleaseCount; ++i) ticks[i] = detected[i] != 0 ? 1 : 0;
        return ticks;
    }
    for (int year : line.releaseYears) {
        const int index = ReleaseIndexOfYear(year);
        if (index < 0) continue;
        if (detected[index] != 0) {
            ticks[index] = 1;
        } else if (skipped != nullptr) {
            skipped->push_back(year);
        }
    }
    return ticks;
}

std::string UsageText(ProgramRole role) {
    if (role == ProgramRole::Uninstaller) {
        return "用法: Uninstall.exe [/S] [/LOG=<文件>]\n"
               "  /S            静默卸载，不显示任何窗口\n"
               "  /LOG=<文件>   日志文件 (默认 %TEMP%\\TarnixUninstall.log)\n"
               "  /?            显示本说明";
    }
    return "用法: SetUp.exe [/S] [/RELEASES=<年份,...>|all] [/LOG=<文件>] [/D=<目录>]\n"
           "  /S                  静默安装，不显示任何窗口\n"
           "  /RELEASES=2016,2019 只安装到这些AutoCAD版本 (all: 全部已安装的版本)\n"
           "  /LOG=<文件>         日志文件 (默认 %TEMP%\\TarnixSetup.log)\n"
           "  /D=<目录>           安装目录，须为最后一个参数 (默认 C:\\Tarnix)\n"
           "  /?                  显示本说明";
}

}  // namespace tx
