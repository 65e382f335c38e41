// An installation stopped at every change it makes to the machine, as a
// crash or a power cut would stop it, then uninstalled: the machine must be
// as it was before the first installation, and nothing it had is lost.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "deploy/ExitStatus.h"
#include "engine/Journal.h"
#include "tests/fakes/FakeMachine.h"

namespace tx {
namespace {

// Counts every call that changes the machine; from the one numbered `at`
// on, the machine is gone: nothing the run still does reaches it, as if the
// process had died there (it runs on, but changes nothing). An append cut
// there may leave part of its text behind.
class Stopper {
public:
    explicit Stopper(long at, bool tearAppend) : at_(at), tear_(tearAppend) {}
    // True from the stop on.
    bool Due() { return count_++ >= at_; }
    bool Stopped() const { return count_ > at_; }
    bool JustStopped() const { return count_ == at_ + 1; }
    bool Tear() const { return tear_; }

private:
    long at_;
    bool tear_;
    long count_ = 0;
};

constexpr std::uint32_t kGone = 21;  // ERROR_NOT_READY: the device is gone

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
    static OsResult Lost() { return OsResult::Fail(kGone); }
    FakeFileSystem& in_;
    Stopper& stop_;
};

class StoppingRegistry : public IRegistry {
public:
    StoppingRegistry(IRegistry& inner, Stopper& stop) : in_(inner), stop_(stop) {}

    long OpenRoot(RegRoot r, RegHandle* o) override { return in_.OpenRoot(r, o); }
    long OpenKeyRead(RegHandle p, const char* s, RegHandle* o) override { return in_.OpenKeyRead(p, s, o); }
    long OpenKey(RegHandle p, const char* s, RegHandle* o) override { return in_.OpenKey(p, s, o); }
    long CreateKey(RegHandle p, const char* s, RegHandle* o) override {
        return Gone() ? kLost : in_.CreateKey(p, s, o);
    }
    long DeleteKey(RegHandle p, const char* s) override {
        return Gone() ? kLost : in_.DeleteKey(p, s);
    }
    long QuerySubkeyCount(RegHandle k, std::uint32_t* c) override { return in_.QuerySubkeyCount(k, c); }
    long EnumKey(RegHandle k, std::uint32_t i, char* n, std::uint32_t* c) override {
        return in_.EnumKey(k, i, n, c);
    }
    long QueryValue(RegHandle k, const char* n, std::uint32_t* t, unsigned char* d,
                    std::uint32_t* s) override {
        return in_.QueryValue(k, n, t, d, s);
    }
    long SetValue(RegHandle k, const char* n, std::uint32_t t, const unsigned char* d,
                  std::uint32_t s) override {
        return Gone() ? kLost : in_.SetValue(k, n, t, d, s);
    }
    long QueryValueWide(RegHandle k, const char* n, std::uint32_t* t, unsigned char* d,
                        std::uint32_t* s) override {
        return in_.QueryValueWide(k, n, t, d, s);
    }
    long SetValueWide(RegHandle k, const char* n, std::uint32_t t, const unsigned char* d,
                      std::uint32_t s) override {
        return Gone() ? kLost : in_.SetValueWide(k, n, t, d, s);
    }
    void CloseKey(RegHandle k) override { in_.CloseKey(k); }
    long DeleteValue(RegHandle k, const char* n) override {
        return Gone() ? kLost : in_.DeleteValue(k, n);
    }
    long QueryValueCount(RegHandle k, std::uint32_t* c) override { return in_.QueryValueCount(k, c); }
    long EnumValueWide(RegHandle k, std::uint32_t i, std::string* n, std::uint32_t* t,
                       std::vector<unsigned char>* d) override {
        return in_.EnumValueWide(k, i, n, t, d);
    }

private:
    static constexpr long kLost = static_cast<long>(kGone);
    bool Gone() { return stop_.Due(); }
    IRegistry& in_;
    Stopper& stop_;
};

enum class Cut { Crash, TornLine, PowerCut };

const char* Name(Cut cut) {
    return cut == Cut::Crash ? "crash" : cut == Cut::TornLine ? "torn line" : "power cut";
}

// Installs (after `earlier` complete installations), stopped before change
// number `at`; false when the run got through without reaching it.
bool InstallStoppedAt(FakeMachine& m, int earlier, long at, Cut cut) {
    ScriptedObserver observer;
    observer.allOrNothing = true;
    for (int i = 0; i < earlier; ++i)
        if (m.Install(observer) != InstallResult::Completed) ADD_FAILURE() << "earlier run failed";
    Stopper stop(at, cut != Cut::Crash);
    StoppingFileSystem fs(m.fs, stop);
    StoppingRegistry reg(m.reg, stop);
    m.runFs = &fs;
    m.runReg = &reg;
    // Stopped somewhere: what it returns is not what the machine shows.
    (void)m.Install(observer);
    m.runFs = &m.fs;
    m.runReg = &m.reg;
    const bool stopped = stop.Stopped();
    if (stopped && cut == Cut::PowerCut) m.fs.PowerCut();
    return stopped;
}

void CheckEveryStop(int earlier, Cut cut) {
    for (long at = 0;; ++at) {
        FakeMachine m;
        const std::string before = m.Snapshot();
        if (!InstallStoppedAt(m, earlier, at, cut)) break;
        const std::string folder = FakeMachine::InstallFolder();
        const std::string journal = folder + "\\" + kJournalFileName;
        const std::string scene = std::string(Name(cut)) + " before change " + std::to_string(at) +
                                  " of run " + std::to_string(earlier + 1);
        if (!m.fs.Exists(journal)) {
            // Stopped before the first line: only the empty folders it made.
            m.fs.SetModulePath(FakeMachine::kPackage);
            ASSERT_TRUE(m.fs.RemoveDirectory(folder)) << scene << "\n" << m.Snapshot();
            ASSERT_TRUE(m.fs.RemoveDirectory("C:\\Tarnix")) << scene;
        } else {
            const int status = m.Uninstall();
            ASSERT_EQ(kExitDone, status) << scene << "\n" << m.log.Lines().back();
        }
        ASSERT_EQ(before, m.Snapshot()) << scene;
        ASSERT_EQ(0u, m.reg.OpenHandles()) << scene;
    }
}

TEST(CrashPointTest, FirstInstallationStoppedAnywhereIsUndoneWhole) {
    for (Cut cut : {Cut::Crash, Cut::TornLine, Cut::PowerCut}) CheckEveryStop(0, cut);
}

TEST(CrashPointTest, ReinstallationStoppedAnywhereStillLeadsBackToTheMachineBefore) {
    for (Cut cut : {Cut::Crash, Cut::TornLine, Cut::PowerCut}) CheckEveryStop(1, cut);
}

}  // namespace
}  // namespace tx

namespace tx {
namespace {

// Random lives of a machine: installations that complete, that crash or
// lose power anywhere, that are aborted after a failed copy, silent ones
// undone by a failed font, and files of the installation deleted between
// runs; then the uninstall. Whatever the life, the machine ends as it
// began. A failure names its seed, to run that life again.
TEST(CrashPointTest, RandomLivesEndAsTheyBegan) {
    const std::string folder = FakeMachine::InstallFolder();
    const std::string font2019 = std::string(FakeMachine::kAcad2019) + "\\Fonts\\Tarnix_EN.shx";
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::uint64_t state = seed * 0x9E3779B97F4A7C15ull;
        const auto next = [&](unsigned bound) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return static_cast<unsigned>(state % bound);
        };
        FakeMachine m;
        const std::string before = m.Snapshot();
        std::string life;
        const unsigned runs = 1 + next(4);
        for (unsigned r = 0; r < runs; ++r) {
            ScriptedObserver observer;
            switch (next(5)) {
                case 0: {
                    life += " complete";
                    observer.allOrNothing = next(2) == 0;
                    (void)m.Install(observer);
                    break;
                }
                case 1: {
                    const Cut cut = static_cast<Cut>(next(3));
                    const long at = static_cast<long>(next(90));
                    life += std::string(" ") + Name(cut) + "@" + std::to_string(at);
                    (void)InstallStoppedAt(m, 0, at, cut);
                    break;
                }
                case 2: {
                    life += " abort";
                    m.fs.FailCopyTo(folder + "\\PdfSharp.dll", 1);
                    observer.copyAnswer = CopyFailedAnswer::Abort;
                    ASSERT_EQ(InstallResult::Aborted, m.Install(observer)) << life;
                    break;
                }
                case 3: {
                    life += " silent-font-fails";
                    m.fs.FailCopyTo(font2019, 1);
                    observer.allOrNothing = true;
                    ASSERT_EQ(InstallResult::Failed, m.Install(observer)) << life;
                    break;
                }
                case 4: {
                    // The user deletes a file of the installation.
                    life += " damage";
                    (void)m.fs.DeleteFile(folder + "\\itextsharp.dll");
                    break;
                }
            }
        }
        if (m.fs.Exists(folder + "\\" + kJournalFileName)) {
            ASSERT_EQ(kExitDone, m.Uninstall()) << life;
        } else {
            // Nothing journaled: at most the empty folders made before the
            // first line.
            (void)m.fs.RemoveDirectory(folder);
            (void)m.fs.RemoveDirectory("C:\\Tarnix");
        }
        ASSERT_EQ(before, m.Snapshot()) << life;
    }
}

}  // namespace
}  // namespace tx
