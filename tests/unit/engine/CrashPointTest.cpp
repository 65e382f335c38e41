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

// Installs (after `earlier` complete installations), stopped before change
// number `at`; false when the run got through without reaching it.
bool InstallStoppedAt(FakeMachine& m, int earlier, long at, Cut cut) {
    ScriptedObserver observer;
    observer.allOrNothing = true;
    for (int i = 0; i < earlier; ++i)
        if (m.Install(observer) != InstallResult::Completed) ADD_FAILURE() << "earlier run failed";
    m.CutOffAt(at, cut);
    // Stopped somewhere: what it returns is not what the machine shows.
    (void)m.Install(observer);
    return m.EndCutOff();
}

void CheckEveryStop(int earlier, Cut cut) {
    for (long at = 0;; ++at) {
        FakeMachine m;
        const std::string before = m.Snapshot();
        if (!InstallStoppedAt(m, earlier, at, cut)) break;
        const std::string folder = FakeMachine::InstallFolder();
        const std::string journal = folder + "\\" + kJournalFileName;
        const std::string scene = std::string(CutName(cut)) + " before change " + std::to_string(at) +
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
                    life += std::string(" ") + CutName(cut) + "@" + std::to_string(at);
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
