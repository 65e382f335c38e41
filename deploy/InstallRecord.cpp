#include "deploy/InstallRecord.h"

#include <algorithm>
#include <cstdio>

namespace tx {

const char* const kRecordFileName = "InstallRecord.txt";
const char* const kBackupFolderName = "Backup";
const char* const kUninstallerName = "Uninstall.exe";
const char* const kCurrentUserPrefix = "HKCU\\";

namespace {

const char kMagic[] = "TARNIX-INSTALL-RECORD";
const char kVersion[] = "1";
const char kHex[] = "0123456789ABCDEF";

std::string Escape(const std::string& field) {
    std::string out;
    for (unsigned char c : field) {
        // Control bytes are never trail bytes of a double-byte character.
        if (c < 0x20 || c == '%' || c == 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unescape(const std::string& field, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out->push_back(field[i]);
            continue;
        }
        if (i + 2 >= field.size()) return false;
        const int hi = HexDigit(field[i + 1]);
        const int lo = HexDigit(field[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<char>(hi << 4 | lo));
        i += 2;
    }
    return true;
}

std::string ValueText(const RegValueState& v) {
    if (!v.keyExists) return "nokey";
    if (!v.valueExists) return "none";
    std::string out = std::to_string(v.type) + ":";
    for (unsigned char b : v.data) {
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
    }
    return out;
}

bool ParseValue(const std::string& text, RegValueState* v) {
    *v = RegValueState{};
    if (text == "nokey") return true;
    v->keyExists = true;
    if (text == "none") return true;
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 10) return false;
    std::uint64_t type = 0;
    for (std::size_t i = 0; i < colon; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        type = type * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (type > 0xFFFFFFFFu) return false;
    const std::size_t digits = text.size() - colon - 1;
    if (digits % 2 != 0) return false;
    for (std::size_t i = colon + 1; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        v->data.push_back(static_cast<unsigned char>(hi << 4 | lo));
    }
    v->valueExists = true;
    v->type = static_cast<std::uint32_t>(type);
    return true;
}

std::string Line(std::initializer_list<std::string> fields) {
    std::string out;
    bool first = true;
    for (const std::string& f : fields) {
        if (!first) out += '\t';
        out += f;
        first = false;
    }
    return out + "\n";
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

std::string RecordHeader(const std::string& installFolder) {
    return Line({kMagic, kVersion}) + Line({"installation", Escape(installFolder)});
}
std::string FolderLine(const std::string& path) { return Line({"folder", Escape(path)}); }
std::string FileLine(const RecordedFile& file) {
    if (file.backup.empty()) return Line({"file-new", Escape(file.path)});
    return Line({"file-replaced", Escape(file.path), Escape(file.backup)});
}
std::string MachineKeyLine(const std::string& path) {
    return Line({"machine-key", Escape(path)});
}
std::string DemandLoadLine(const RecordedDemandLoad& entry) {
    return Line({"demand-load", Escape(entry.key), Escape(entry.loader)});
}
std::string TrustedPathsLine(const RecordedTrustedPaths& entry) {
    return Line({"trusted-paths", Escape(entry.key), ValueText(entry.before),
                 ValueText(entry.written)});
}
std::string UninstallEntryLine(const std::string& path) {
    return Line({"uninstall-entry", Escape(path)});
}
std::string UninstallerLine(const std::string& path) {
    return Line({"uninstaller", Escape(path)});
}

std::string FormatRecord(const InstallRecord& record) {
    std::string out = RecordHeader(record.installFolder);
    for (const std::string& f : record.folders) out += FolderLine(f);
    for (const RecordedFile& f : record.files) out += FileLine(f);
    for (const std::string& k : record.machineKeys) out += MachineKeyLine(k);
    for (const RecordedDemandLoad& d : record.demandLoads) out += DemandLoadLine(d);
    for (const RecordedTrustedPaths& t : record.trustedPaths) out += TrustedPathsLine(t);
    for (const std::string& e : record.uninstallEntries) out += UninstallEntryLine(e);
    if (!record.uninstaller.empty()) out += UninstallerLine(record.uninstaller);
    return out;
}

void RecordMerger::AddFolder(const std::string& path) {
    for (const std::string& f : record_.folders)
        if (Same(f, path)) return;
    record_.folders.push_back(path);
}

const RecordedFile* RecordMerger::FindFile(const std::string& path) const {
    for (const RecordedFile& f : record_.files)
        if (Same(f.path, path)) return &f;
    return nullptr;
}

bool RecordMerger::AddFile(const RecordedFile& file) {
    if (FindFile(file.path) != nullptr) return false;
    record_.files.push_back(file);
    return true;
}

void RecordMerger::AddMachineKey(const std::string& path) {
    for (const std::string& k : record_.machineKeys)
        if (Same(k, path)) return;
    record_.machineKeys.push_back(path);
}

void RecordMerger::AddDemandLoad(const RecordedDemandLoad& entry) {
    for (RecordedDemandLoad& d : record_.demandLoads) {
        if (Same(d.key, entry.key)) {
            d.loader = entry.loader;
            return;
        }
    }
    record_.demandLoads.push_back(entry);
}

void RecordMerger::AddTrustedPaths(const RecordedTrustedPaths& entry) {
    for (RecordedTrustedPaths& t : record_.trustedPaths) {
        if (Same(t.key, entry.key)) {
            t.written = entry.written;  // the first "before" stays
            return;
        }
    }
    record_.trustedPaths.push_back(entry);
}

void RecordMerger::AddUninstallEntry(const std::string& path) {
    for (const std::string& e : record_.uninstallEntries)
        if (Same(e, path)) return;
    record_.uninstallEntries.push_back(path);
}

bool ParseRecord(const std::string& text, const CodePage& codePage, InstallRecord* record,
                 std::string* error) {
    InstallRecord parsed;
    RecordMerger merge(parsed, codePage);
    std::size_t lineNumber = 0;
    auto fail = [&](const char* why) {
        if (error != nullptr) *error = "line " + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    if (text.empty()) return fail("empty");
    if (text.back() != '\n') {
        lineNumber = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        return fail("last line cut short");
    }

    std::size_t start = 0;
    while (start < text.size()) {
        ++lineNumber;
        const std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        start = end + 1;
        // A record saved again by an editor may have gained CR LF.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) return fail("empty line");

        const std::vector<std::string> raw = Split(line);
        std::vector<std::string> f(raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i)
            if (!Unescape(raw[i], &f[i])) return fail("bad escape");
        const std::string& kind = f[0];

        if (lineNumber == 1) {
            if (f.size() != 2 || kind != kMagic) return fail("not an install record");
            if (f[1] != kVersion) return fail("unknown version");
            continue;
        }
        if (lineNumber == 2) {
            if (kind != "installation" || f.size() != 2 || f[1].empty())
                return fail("no installation folder");
            parsed.installFolder = f[1];
            continue;
        }
        auto fields = [&](std::size_t n) {
            if (f.size() != n) return false;
            for (std::size_t i = 1; i < n; ++i)
                if (f[i].empty()) return false;
            return true;
        };
        if (kind == "folder" && fields(2)) {
            merge.AddFolder(f[1]);
        } else if (kind == "file-new" && fields(2)) {
            merge.AddFile({f[1], std::string()});
        } else if (kind == "file-replaced" && fields(3)) {
            merge.AddFile({f[1], f[2]});
        } else if (kind == "machine-key" && fields(2)) {
            merge.AddMachineKey(f[1]);
        } else if (kind == "demand-load" && fields(3)) {
            merge.AddDemandLoad({f[1], f[2]});
        } else if (kind == "trusted-paths" && fields(4)) {
            RecordedTrustedPaths t;
            t.key = f[1];
            if (!ParseValue(f[2], &t.before) || !ParseValue(f[3], &t.written) ||
                !t.written.valueExists)
                return fail("bad value");
            merge.AddTrustedPaths(t);
        } else if (kind == "uninstall-entry" && fields(2)) {
            merge.AddUninstallEntry(f[1]);
        } else if (kind == "uninstaller" && fields(2)) {
            parsed.uninstaller = f[1];
        } else {
            return fail("malformed line");
        }
    }
    if (lineNumber < 2) return fail("no installation folder");
    *record = std::move(parsed);
    return true;
}

}  // namespace tx
