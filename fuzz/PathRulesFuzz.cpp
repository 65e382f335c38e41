// The folder chooser's rules for a typed path: one folder name, the syntax
// check (which must not touch the disk), the creation of missing levels on
// an in-memory disk and the OK of the chooser with its questions.
//
// Input: a selector byte (bit 0: code page 936, else 1252; bit 1: the answer
// to the creation question is Yes), then the typed text (up to its first
// NUL, as an edit box holds it).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "ui/FolderPrompts.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeUserIo.h"
#include "engine/PathRules.h"

namespace tx::fuzz {
namespace {

// A disk that must never be asked: the syntax check works on the text alone.
class UntouchableFileSystem : public IFileSystem {
public:
    std::string ModulePath() override { Touched(); }
    std::unique_ptr<IFindHandle> FindFirst(const std::string&, FindEntry*) override { Touched(); }
    std::uint32_t GetAttributes(const std::string&) override { Touched(); }
    OsResult SetAttributes(const std::string&, std::uint32_t) override { Touched(); }
    OsResult CopyFile(const std::string&, const std::string&) override { Touched(); }
    OsResult CreateDirectory(const std::string&) override { Touched(); }
    std::uint32_t GetEnvironmentVariable(const char*, char*, std::uint32_t) override { Touched(); }
    std::string CurrentDirectory() override { Touched(); }
    OsResult RoamingAppDataFolder(std::string*) override { Touched(); }
    OsResult DeleteFile(const std::string&) override { Touched(); }
    OsResult RemoveDirectory(const std::string&) override { Touched(); }
    OsResult ReadWholeFile(const std::string&, std::string*) override { Touched(); }
    OsResult WriteWholeFile(const std::string&, const std::string&) override { Touched(); }
    OsResult ReadProgramImage(std::string*) override { Touched(); }
    OsResult AppendToFile(const std::string&, const std::string&) override { Touched(); }
    OsResult MoveFileAtRestart(const std::string&, const std::string&) override { Touched(); }
    OsResult FileSize(const std::string&, std::uint64_t*) override { Touched(); }
    OsResult FlushFile(const std::string&) override { Touched(); }
    OsResult ReplaceFile(const std::string&, const std::string&) override { Touched(); }
    OsResult HoldForReading(const std::string&, std::unique_ptr<IHeldFile>*) override { Touched(); }
    OsResult CopyFromHeld(IHeldFile&, const std::string&) override { Touched(); }
    OsResult RestartOperationPaths(std::vector<std::string>*) override { Touched(); }
    OsResult FileIdentity(const std::string&, FileId*) override { Touched(); }

private:
    [[noreturn]] static void Touched() {
        std::fprintf(stderr, "invariant broken: the syntax check touched the disk\n");
        std::abort();
    }
};

// What the check-only mode must say of a whole path: it holds MAX_PATH
// buffers, so a longer text is invalid whatever its syntax.
int ExpectedCheck(const std::string& path, const CodePage& cp) {
    if (path.size() >= kMaxPath) return kPathInvalid;
    return ExpectedWellFormedPath(path, cp) ? kPathValid : kPathInvalid;
}

// The levels a creating check may make: the path cut just before one of
// its separators, or the whole path.
bool IsLevelOf(const std::string& level, const std::string& path, const CodePage& cp) {
    if (level.size() > path.size() || path.compare(0, level.size(), level) != 0) return false;
    if (level.size() == path.size()) return true;
    return SingleByteAt(path, CharStarts(path, cp), level.size()) == '\\';
}

void SeedDisk(FakeFileSystem& fs) {
    fs.AddFolder("C:\\");
    fs.AddFolder("C:\\Program Files");
    fs.AddFile("C:\\f", "a file in the way");
}

}  // namespace
}  // namespace tx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tx;
    using namespace tx::fuzz;
    InputReader in(data, size);
    const std::uint8_t selector = in.Byte();
    const CodePage cp(CodePageOf(selector));
    const bool answerYes = (selector & 2) != 0;
    const std::string text = UpToNul(in.Rest());

    // One name.
    const bool valid = IsValidPathComponent(text.c_str(), cp);
    FUZZ_CHECK(valid == ExpectedValidName(text, cp));
    FUZZ_CHECK(!IsValidPathComponent(nullptr, cp));

    // The syntax alone, at any length, and the check-only mode.
    FUZZ_CHECK(IsWellFormedFolderPath(text, cp) == ExpectedWellFormedPath(text, cp));
    UntouchableFileSystem untouchable;
    FakeMessageBox noBoxes;
    FolderPrompts noPrompts(noBoxes, "SetUp");
    const FolderRules checkOnly(untouchable, noPrompts, cp);
    const int checked = checkOnly.CheckOrCreatePath(text.c_str(), true);
    FUZZ_CHECK(checked == ExpectedCheck(text, cp));
    FUZZ_CHECK(checkOnly.CheckOrCreatePath(nullptr, true) == kPathInvalid);
    FUZZ_CHECK(noBoxes.Calls().empty());

    // Creating: never a level that is not part of the path; the result says
    // whether the path exists afterwards.
    {
        FakeFileSystem fs(cp.Id());
        SeedDisk(fs);
        FakeMessageBox boxes;
        FolderPrompts prompts(boxes, "SetUp");
        const FolderRules rules(fs, prompts, cp);
        const int created = rules.CheckOrCreatePath(text.c_str(), false);
        // Levels are made left to right, so a bad name after a level that
        // cannot be made is never reached: that path reports the level.
        if (checked == kPathInvalid) {
            FUZZ_CHECK(created == kPathInvalid || created == kPathCannotCreate);
        } else {
            FUZZ_CHECK(created == kPathValid || created == kPathCannotCreate);
        }
        if (created == kPathValid) FUZZ_CHECK(checked == kPathValid && fs.Exists(text));
        if (created == kPathCannotCreate) FUZZ_CHECK(!fs.Exists(text));
        for (const std::string& level : fs.CreateDirectoryCalls())
            FUZZ_CHECK(IsLevelOf(level, text, cp));
        FUZZ_CHECK(boxes.Calls().empty());
    }

    // The chooser's OK.
    {
        FakeFileSystem fs(cp.Id());
        SeedDisk(fs);
        const bool existed = checked == kPathValid && fs.Exists(text);
        FakeMessageBox boxes;
        boxes.Script({answerYes ? kIdYes : kIdNo});
        FolderPrompts prompts(boxes, "SetUp");
        const FolderRules rules(fs, prompts, cp);
        const int result = rules.ConfirmFolder(text.c_str());
        const auto& calls = boxes.Calls();
        if (checked == kPathInvalid) {
            FUZZ_CHECK(result == kPathInvalid);
            FUZZ_CHECK(calls.size() == 1 && calls[0].style == (kMbOk | kMbIconExclamation));
            FUZZ_CHECK(fs.CreateDirectoryCalls().empty());
        } else if (existed) {
            FUZZ_CHECK(result == kPathValid && calls.empty());
        } else {
            FUZZ_CHECK(!calls.empty() && calls[0].style == (kMbYesNo | kMbIconQuestion));
            if (!answerYes) {
                FUZZ_CHECK(result == kPathDeclined && calls.size() == 1);
                FUZZ_CHECK(fs.CreateDirectoryCalls().empty());
            } else if (result == kPathValid) {
                FUZZ_CHECK(calls.size() == 1 && fs.Exists(text));
            } else {
                FUZZ_CHECK(result == kPathCannotCreate && calls.size() == 2 && !fs.Exists(text));
                FUZZ_CHECK(calls[1].style == (kMbOk | kMbIconExclamation));
            }
        }
        for (const auto& call : calls) FUZZ_CHECK(call.text.find(text) != std::string::npos);
    }
    return 0;
}
