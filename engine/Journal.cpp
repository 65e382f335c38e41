#include "engine/Journal.h"

#include <algorithm>

namespace tx {

const char* const kJournalFileName = "InstallRecord.txt";
const char* const kBackupFolderName = "Backup";
const char* const kUninstallerName = "Uninstall.exe";
const char* const kCurrentUserPrefix = "HKCU\\";
const char* const kJournalRewriteSuffix = ".new";

namespace {

const char kMagic[] = "TARNIX-INSTALL-RECORD";
const char kVersion[] = "2";
const char kHex[] = "0123456789ABCDEF";

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

std::string Line(const std::vector<std::string>& fields) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += '\t';
        // The kind and the value states are plain already.
        out += i == 0 ? fields[i] : EscapeField(fields[i]);
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

std::string EscapeField(const std::string& field) {
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

std::string ValueStateText(const RegValueState& v) {
    if (!v.keyExists) return "nokey";
    if (!v.valueExists) return "none";
    return std::to_string(v.type) + ":" + HexText(v.data.data(), v.data.size());
}

std::string HexText(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 0xF];
    }
    return out;
}

bool ParseHexText(const std::string& text, std::string* bytes) {
    bytes->clear();
    if (text.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes->push_back(static_cast<char>(hi << 4 | lo));
    }
    return true;
}

bool ParseValueState(const std::string& text, RegValueState* v) {
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
    std::string data;
    if (!ParseHexText(text.substr(colon + 1), &data)) return false;
    v->data.assign(data.begin(), data.end());
    v->valueExists = true;
    v->type = static_cast<std::uint32_t>(type);
    return true;
}

std::string JournalHeader(const std::string& installFolder) {
    return std::string(kMagic) + "\t" + kVersion + "\n" + "installation\t" +
           EscapeField(installFolder) + "\n";
}

std::string JournalLine(const Action& action) {
    const std::vector<std::string> fields = action.Fields();
    return fields.empty() ? std::string() : Line(fields);
}

std::string FormatJournal(const std::string& installFolder, const ActionList& actions) {
    std::string out = JournalHeader(installFolder);
    for (const auto& a : actions) out += JournalLine(*a);
    return out;
}

bool ParseJournal(const std::string& text, JournalContent* journal, std::string* error) {
    JournalContent parsed;
    std::size_t lineNumber = 0;
    auto fail = [&](const char* why) {
        if (error != nullptr) *error = "line " + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    if (text.empty()) return fail("empty");

    // A last line without its LF was being written when the run stopped:
    // its action never began.
    std::size_t end = text.size();
    if (text.back() != '\n') {
        const std::size_t lastLf = text.rfind('\n');
        end = lastLf == std::string::npos ? 0 : lastLf + 1;
        parsed.droppedTornLine = true;
    }

    std::size_t start = 0;
    while (start < end) {
        ++lineNumber;
        const std::size_t lf = text.find('\n', start);
        std::string line = text.substr(start, lf - start);
        start = lf + 1;
        // A journal saved again by an editor may have gained CR LF.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) return fail("empty line");

        const std::vector<std::string> raw = Split(line);
        std::vector<std::string> f(raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i)
            if (!Unescape(raw[i], &f[i])) return fail("bad escape");

        if (lineNumber == 1) {
            if (f.size() != 2 || f[0] != kMagic) return fail("not an install record");
            if (f[1] != "1" && f[1] != kVersion) return fail("unknown version");
            parsed.version = f[1] == "1" ? 1 : 2;
            continue;
        }
        if (lineNumber == 2) {
            if (f[0] != "installation" || f.size() != 2 || f[1].empty())
                return fail("no installation folder");
            parsed.installFolder = f[1];
            continue;
        }
        for (std::size_t i = 1; i < f.size(); ++i)
            if (f[i].empty()) return fail("malformed line");
        // Version 1 knew no backup of the uninstaller.
        if (parsed.version == 1 && f[0] == "uninstaller" && f.size() != 2)
            return fail("malformed line");
        std::unique_ptr<Action> action = ParseAction(f);
        if (!action) return fail("malformed line");
        parsed.actions.push_back(std::move(action));
    }
    if (lineNumber < 2) return fail("no installation folder");
    *journal = std::move(parsed);
    return true;
}

JournalFile::JournalFile(IFileSystem& fs, std::string installFolder)
    : fs_(fs), path_(std::move(installFolder) + "\\" + kJournalFileName) {}

OsResult JournalFile::Append(const std::string& lines) {
    if (lines.empty()) return OsResult::Ok();
    return fs_.AppendToFile(path_, lines);
}

OsResult JournalFile::Rewrite(const std::string& text) {
    const std::string fresh = path_ + kJournalRewriteSuffix;
    // WriteWholeFile flushes: the new journal is whole on disk before it
    // takes the old one's place.
    const OsResult written = fs_.WriteWholeFile(fresh, text);
    if (!written) return written;
    const OsResult replaced = fs_.ReplaceFile(fresh, path_);
    if (replaced) return replaced;
    // The old journal stays as it was; a file beside it that cannot go is
    // removed by the next run (RemoveLeftover).
    (void)fs_.DeleteFile(fresh);
    return replaced;
}

void JournalFile::RemoveLeftover() {
    const std::string fresh = path_ + kJournalRewriteSuffix;
    if (fs_.GetAttributes(fresh) == kInvalidAttributes) return;
    // One that stays is harmless: the next rewrite writes it afresh.
    (void)fs_.DeleteFile(fresh);
}

}  // namespace tx
