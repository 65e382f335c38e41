// A file system that a Stopper cuts off: every change goes through to the
// machine's own until the stop, none after it.
#pragma once

#include <memory>
#include <string>

#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/Stopper.h"

namespace tx {

class StoppingFileSystem : public IFileSystem {
public:
    StoppingFileSystem(FakeFileSystem& inner, Stopper& stop) : in_(inner), stop_(stop) {}

    std::string ModulePath() override { return in_.ModulePath(); }
    std::unique_ptr<IFindHandle> FindFirst(const std::string& p, FindEntry* e) override {
        return in_.FindFirst(p, e);
    }
    std::uint32_t GetAttributes(const std::string& p) override { return in_.GetAttributes(p); }
    OsResult SetAttributes(const std::string& p, std::uint32_t a) override {
        return Gone() ? Lost() : in_.SetAttributes(p, a);
    }
    OsResult CopyFile(const std::string& s, const std::string& t) override {
        return Gone() ? Lost() : in_.CopyFile(s, t);
    }
    OsResult CreateDirectory(const std::string& p) override {
        return Gone() ? Lost() : in_.CreateDirectory(p);
    }
    std::uint32_t GetEnvironmentVariable(const char* n, char* b, std::uint32_t c) override {
        return in_.GetEnvironmentVariable(n, b, c);
    }
    std::string CurrentDirectory() override { return in_.CurrentDirectory(); }
    OsResult RoamingAppDataFolder(std::string* f) override { return in_.RoamingAppDataFolder(f); }
    OsResult DeleteFile(const std::string& p) override {
        return Gone() ? Lost() : in_.DeleteFile(p);
    }
    OsResult RemoveDirectory(const std::string& p) override {
        return Gone() ? Lost() : in_.RemoveDirectory(p);
    }
    OsResult ReadWholeFile(const std::string& p, std::string* c) override {
        return in_.ReadWholeFile(p, c);
    }
    OsResult WriteWholeFile(const std::string& p, const std::string& c) override {
        return Gone() ? Lost() : in_.WriteWholeFile(p, c);
    }
    OsResult AppendToFile(const std::string& p, const std::string& t) override {
        if (stop_.Due()) {
            // The line being written when the power went: part of it on
            // disk, whatever the write would have said.
            if (stop_.JustStopped() && stop_.Tear() && t.size() > 1)
                (void)in_.AppendToFile(p, t.substr(0, t.size() / 2));
            return Lost();
        }
        return in_.AppendToFile(p, t);
    }
    OsResult MoveFileAtRestart(const std::string& f, const std::string& t) override {
        return Gone() ? Lost() : in_.MoveFileAtRestart(f, t);
    }
    OsResult FileSize(const std::string& p, std::uint64_t* s) override { return in_.FileSize(p, s); }
    OsResult ReadProgramImage(std::string* c) override { return in_.ReadProgramImage(c); }
    OsResult FileIdentity(const std::string& p, FileId* id) override { return in_.FileIdentity(p, id); }
    OsResult RestartOperationPaths(std::vector<std::string>* p) override {
        return in_.RestartOperationPaths(p);
    }
    OsResult FlushFile(const std::string& p) override {
        return Gone() ? Lost() : in_.FlushFile(p);
    }
    OsResult ReplaceFile(const std::string& f, const std::string& t) override {
        return Gone() ? Lost() : in_.ReplaceFile(f, t);
    }
    OsResult HoldForReading(const std::string& p, std::unique_ptr<IHeldFile>* f) override {
        return in_.HoldForReading(p, f);
    }
    OsResult CopyFromHeld(IHeldFile& s, const std::string& t) override {
        return Gone() ? Lost() : in_.CopyFromHeld(s, t);
    }

private:
    bool Gone() { return stop_.Due(); }
    static OsResult Lost() { return OsResult::Fail(kStoppedError); }
    FakeFileSystem& in_;
    Stopper& stop_;
};

}  // namespace tx
