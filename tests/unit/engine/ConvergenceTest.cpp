// Every run converges: random lives of a machine (installations into one
// folder or another with any releases ticked, runs cut off or failing on
// the way, AutoCAD installed and removed, files and keys deleted by hand,
// TRUSTEDPATHS edited by the user, uninstalls that need a restart) are
// checked after each step against a reference:
//   - a completed installation leaves what one uninterrupted installation
//     with the same folder and ticks leaves on the machine without the
//     plug-in ("base": the starting machine with AutoCAD's changes and the
//     user's own TRUSTEDPATHS entries);
//   - a completed uninstall (at once, or at the restart it asked for)
//     leaves base;
//   - a run that ends otherwise (aborted, refused, a failed silent run)
//     leaves the machine as it was before it.
// A run cut off, or one whose failed copy was ignored, is not checked: the
// next completed one must converge. The test knows nothing of how the
// installer gets there.
//
// TX_CONVERGE_SEQUENCES sets how many lives are run (TX_CONVERGE_STEPS their
// longest), TX_CONVERGE_SEED runs that one life alone and prints it step by
// step. A failure prints its seed and the shortest life found that still
// fails the same way (for the first TX_CONVERGE_EXAMPLES failing lives).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "deploy/ExitStatus.h"
#include "engine/InstallPlanner.h"
#include "engine/Journal.h"
#include "host/ReleaseTable.h"
#include "host/TrustedPathList.h"
#include "tests/fakes/FakeMachine.h"

namespace tx {
namespace {

const char* const kChosen[] = {"C:\\Tarnix", "D:\\CAD", "C:\\Apps\\Plot"};
constexpr int kChosenCount = 3;
const char* const kModules[] = {"itextsharp.dll", "PdfSharp.dll", "TX_BatchPlot2008.ARX",
                                "TX_BatchPlot2021.ARX", "Tarnix.Ini"};
// The package's support files as the fake's Data folder holds them, with
// where they go below an AutoCAD folder.
const std::pair<const char*, const char*> kSupportFiles[] = {
    {"Fonts\\Tarnix_EN.shx", "font en"}, {"Fonts\\Tarnix_HZ.shx", "font hz"}, {"Drv\\pdfplot9.hdi", "driver"}};

// The installations that come and go: the machine's three, an AutoCAD 2010
// on the second drive with a font of its own named like ours, and a second
// 2019 product.
const std::vector<AcadInstallation>& Acads() {
    static const std::vector<AcadInstallation> acads = [] {
        std::vector<AcadInstallation> all = FakeMachine::StartingAcads();
        all.push_back({"R18.0\\ACAD-8001:804", false, "D:\\AutoCAD 2010", "AutoCAD 2010", {},
                       {{"Fonts\\Tarnix_HZ.shx", "acad 2010 font"}}});
        all.push_back({"R23.0\\ACAD-2001:409", false, "C:\\Program Files\\Autodesk\\AutoCAD 2019 EN",
                       "AutoCAD 2019 - English", {"Fonts"}, {}});
        return all;
    }();
    return acads;
}

std::string ProfileVariables(const AcadInstallation& acad) {
    return "Software\\Autodesk\\AutoCAD\\" + acad.productKey + "\\Profiles\\<<Unnamed Profile>>\\Variables";
}

std::string ProductKey(const AcadInstallation& acad) {
    return std::string(acad.wow ? "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\" : "SOFTWARE\\Autodesk\\AutoCAD\\") +
           acad.productKey;
}

bool Present(FakeMachine& m, const AcadInstallation& acad) {
    return m.reg.HasKey(RegRoot::LocalMachine, ProductKey(acad));
}

// ---------------------------------------------------------------------------
// Steps

enum class Kind {
    Install,
    InstallCut,
    InstallFault,
    Uninstall,
    UninstallCut,
    Restart,
    Release,
    AcadAdd,
    AcadRemove,
    Damage,
    TrustAdd,
    TrustRemoveOurs,
};

enum class Fault { PayloadCopy, SupportCopy, DemandLoadWrite, TrustedPathsWrite };
enum class Damage { Module, SupportFile, DemandLoadKey };
enum class InUse { None, Module, SupportFile };

struct Step {
    Kind kind = Kind::Install;
    int folder = 0;           // into kChosen
    unsigned ticks = 0;       // one bit per ReleaseIndex
    bool silent = false;
    long at = 0;              // a cut: before this change
    Cut cut = Cut::Crash;
    Fault fault = Fault::PayloadCopy;
    CopyFailedAnswer answer = CopyFailedAnswer::Abort;
    int acad = 0;             // into Acads()
    Damage damage = Damage::Module;
    InUse inUse = InUse::None;
    unsigned pick = 0;        // which of the candidates found when it runs
    std::string entry;        // the user's own TRUSTEDPATHS entry
};

std::string TicksText(unsigned ticks) {
    std::string out;
    for (int r = 0; r < kReleaseCount; ++r)
        if ((ticks & (1u << r)) != 0) out += (out.empty() ? "" : "+") + std::to_string(kReleases[r].year);
    return out.empty() ? "nothing" : out;
}

const char* AnswerText(CopyFailedAnswer a) {
    return a == CopyFailedAnswer::Abort ? "Abort" : a == CopyFailedAnswer::Retry ? "Retry" : "Ignore";
}

std::string Describe(const Step& s) {
    const std::string run = std::string(s.silent ? "silent" : "interactive") + " install into " +
                            kChosen[s.folder] + " ticking " + TicksText(s.ticks);
    switch (s.kind) {
        case Kind::Install: return run;
        case Kind::InstallCut:
            return run + ", cut off (" + CutName(s.cut) + ") before change " + std::to_string(s.at);
        case Kind::InstallFault: {
            static const char* const kFaults[] = {"a payload copy", "a font or driver copy",
                                                  "a demand-load key write", "a TRUSTEDPATHS write"};
            return run + ", " + kFaults[static_cast<int>(s.fault)] + " failing once (#" +
                   std::to_string(s.pick) + ")" + (s.silent ? "" : std::string(", answered ") + AnswerText(s.answer));
        }
        case Kind::Uninstall: {
            static const char* const kInUse[] = {"", ", a file of the installation in use",
                                                 ", our font or driver in use"};
            return std::string("uninstall") + kInUse[static_cast<int>(s.inUse)];
        }
        case Kind::UninstallCut:
            return std::string("uninstall cut off (") + CutName(s.cut) + ") before change " + std::to_string(s.at);
        case Kind::Restart: return "restart";
        case Kind::Release: return "the program holding files open ends";
        case Kind::AcadAdd: return "AutoCAD installed: " + Acads()[s.acad].productName + " in " + Acads()[s.acad].location;
        case Kind::AcadRemove: return "AutoCAD uninstalled: " + Acads()[s.acad].productName;
        case Kind::Damage: {
            static const char* const kDamage[] = {"a module of the installation", "our font or driver",
                                                  "a demand-load key of ours"};
            return std::string("deleted by hand: ") + kDamage[static_cast<int>(s.damage)] + " (#" +
                   std::to_string(s.pick) + ")";
        }
        case Kind::TrustAdd:
            return "user adds " + s.entry + " to TRUSTEDPATHS of " + Acads()[s.acad].productName;
        case Kind::TrustRemoveOurs:
            return "user removes our entry from TRUSTEDPATHS of " + Acads()[s.acad].productName;
    }
    return "?";
}

// ---------------------------------------------------------------------------
// The state compared. Normalised as little as the rule allows:
//   - the journal's text: only that it is there counts;
//   - InstallDate and EstimatedSize of the Programs and Features entry: the
//     day of the run, and the bytes of what this run copied;
//   - the Active Setup "Version" values: raised by every run, so that
//     users who logged on before get the per-user part again;
//   - backups by content only, as a multiset: their names number them in
//     the order runs took them;
//   - TRUSTEDPATHS without letter case: every run after the first
//     upper-cases the whole value.

using State = std::vector<std::string>;

bool StartsWithNoCase(const CodePage& cp, const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && cp.EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

State Normalised(const FakeMachine& m, bool withUserSettings) {
    const CodePage& cp = m.cp;
    State out;
    const std::string entry = std::string("HKLM\\") + kUninstallKey + " : ";
    const std::vector<std::string> activeSetup = {std::string("HKLM\\") + kActiveSetupKey + " : \"Version\"",
                                                  std::string("HKCU\\") + kActiveSetupKey + " : \"Version\""};
    std::istringstream dump(m.reg.Dump());
    for (std::string line; std::getline(dump, line);) {
        if (StartsWithNoCase(cp, line, entry + "\"InstallDate\"") ||
            StartsWithNoCase(cp, line, entry + "\"EstimatedSize\"") ||
            StartsWithNoCase(cp, line, activeSetup[0]) || StartsWithNoCase(cp, line, activeSetup[1])) {
            line = line.substr(0, line.find('"', line.find(" : \"") + 4) + 1) + " (any)";
        } else if (cp.Lower(line).find(" : \"trustedpaths\" ") != std::string::npos) {
            line = cp.Upper(line);
        }
        out.push_back(line);
    }
    const std::string settings = cp.Lower(std::string(FakeMachine::kAppData) + "\\Tarnix");
    const std::string journal = cp.Lower(std::string("\\") + kJournalFileName);
    const std::string backups = cp.Lower(std::string("Tarnix批打印软件\\") + kBackupFolderName + "\\");
    for (const char* drive : FakeMachine::kDrives) {
        for (std::string path : m.fs.Tree(drive)) {
            const std::size_t eq = path.find('=');
            const std::string name = cp.Lower(path.substr(0, eq));
            if (!withUserSettings && name.compare(0, settings.size(), settings) == 0) continue;
            if (eq != std::string::npos && name.size() >= journal.size() &&
                name.compare(name.size() - journal.size(), journal.size(), journal) == 0) {
                path = path.substr(0, eq) + "=(journal)";
            } else if (const std::size_t b = name.find(backups); eq != std::string::npos && b != std::string::npos) {
                path = path.substr(0, b + backups.size()) + "*" + path.substr(eq);
            }
            out.push_back(path);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Difference(const State& machine, const State& expected) {
    State extra, missing;
    std::set_difference(machine.begin(), machine.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    std::set_difference(expected.begin(), expected.end(), machine.begin(), machine.end(),
                        std::back_inserter(missing));
    std::string out;
    int shown = 0;
    for (const std::string& line : missing) {
        if (++shown > 25) break;
        out += "      missing: " + line + "\n";
    }
    for (const std::string& line : extra) {
        if (++shown > 50) break;
        out += "      extra:   " + line + "\n";
    }
    return out;
}

// ---------------------------------------------------------------------------
// A copy-failure answer for the run's first failed copy; any later one is
// aborted (a Retry meets a fault that fails once).
class Answers final : public IInstallObserver {
public:
    Answers(bool silent, CopyFailedAnswer first) : silent_(silent), first_(first) {}
    CopyFailedAnswer CopyFailed(const std::string&) override {
        return ++asked == 1 ? first_ : first_ == CopyFailedAnswer::Ignore ? first_ : CopyFailedAnswer::Abort;
    }
    bool AllOrNothing() override { return silent_; }
    void NoDataFolder() override {}
    void RestartNeeded() override {}
    void Step() override {}
    int asked = 0;

private:
    bool silent_;
    CopyFailedAnswer first_;
};

struct Failure {
    std::size_t step;      // index of the step after which a check failed
    std::string category;  // what kind of check failed
    std::string detail;
};

const char* ResultText(InstallResult r) {
    switch (r) {
        case InstallResult::Completed: return "completed";
        case InstallResult::NoDataFolder: return "no Data folder";
        case InstallResult::Aborted: return "aborted";
        case InstallResult::Failed: return "failed";
        case InstallResult::RestartPending: return "refused: a restart is pending";
    }
    return "ended another way";
}

// One life of a machine, step by step, with what it is expected to be.
class Life {
public:
    // What the machine must be once the next check comes.
    enum class Expect { Unknown, Base, Installed };

    Life() { Reset(); }

    // Runs the steps; the first failed check, if any.
    std::optional<Failure> Run(const std::vector<Step>& steps) {
        Reset();
        for (std::size_t i = 0; i < steps.size(); ++i) {
            std::optional<Failure> f = Apply(steps[i], i);
            if (f) return f;
        }
        return std::nullopt;
    }

    std::optional<Failure> Apply(const Step& s, std::size_t index);

    FakeMachine& machine() { return *m_; }
    const std::vector<std::string>& Trace() const { return trace_; }
    int Checks() const { return checks_; }

    unsigned DetectedTicks() const {
        unsigned t = 0;
        for (int r = 0; r < kReleaseCount; ++r)
            if (m_->info.IsDetected(r)) t |= 1u << r;
        return t;
    }
    bool RestartPending() const { return !m_->fs.PendingAtRestart().empty() || !inUse_.empty(); }
    bool Holding() const { return !inUse_.empty(); }
    std::optional<std::string> UninstallerFolder() const;

private:
    void Reset() {
        m_ = std::make_unique<FakeMachine>();
        baseOps_.clear();
        expect_ = Expect::Base;
        inUse_.clear();
        lastFolder_.reset();
        strays_.clear();
        trace_.clear();
        references_.clear();
        bases_.clear();
        checks_ = 0;
    }
    // What the user or AutoCAD does to the machine apart from the plug-in:
    // done on the machine and kept for every reference.
    void ApplyBase(FakeMachine& m, const Step& s) const;
    const State& Base();
    const State& Reference(int folder, unsigned ticks);
    std::optional<Failure> Expected(std::size_t index, const std::string& category);
    std::optional<Failure> Unchanged(std::size_t index, const std::string& before, const std::string& what);
    std::optional<Failure> InstallStep(const Step& s, std::size_t index);
    std::optional<Failure> UninstallStep(const Step& s, std::size_t index);
    void Note(const std::string& what) { trace_.back() += what; }

    std::unique_ptr<FakeMachine> m_;
    std::vector<Step> baseOps_;
    Expect expect_ = Expect::Base;
    int expectFolder_ = 0;
    unsigned expectTicks_ = 0;
    std::vector<std::string> inUse_;
    std::optional<int> lastFolder_;
    // The folder levels (and the journal) of a run cut off before its
    // entry was written, its first change outside its own folder: nothing
    // the machine holds names them, so a later run cannot know they were
    // ours. The one difference a later check allows, while nothing else
    // is in them.
    std::set<std::string> strays_;
    std::vector<std::string> trace_;
    std::map<std::pair<std::size_t, std::pair<int, unsigned>>, State> references_;
    std::map<std::size_t, State> bases_;
    int checks_ = 0;
};

void SetTrustedPaths(FakeMachine& m, const std::string& key, const WideString& text) {
    if (!text.empty()) {
        m.reg.SetWideString(RegRoot::CurrentUser, key, kTrustedPaths, text);
        return;
    }
    UniqueRegKey k(m.reg);
    if (m.reg.OpenKey(kHkeyCurrentUser, key.c_str(), k.put()) == kRegOk && k)
        (void)m.reg.DeleteValue(k.get(), kTrustedPaths);
}

void Life::ApplyBase(FakeMachine& m, const Step& s) const {
    const AcadInstallation& acad = Acads()[s.acad];
    if (s.kind == Kind::AcadAdd) {
        m.AddAcad(acad);
    } else if (s.kind == Kind::AcadRemove) {
        m.RemoveAcad(acad);
    } else if (s.kind == Kind::TrustAdd) {
        // At the front, where an installation never puts its own entry.
        WideString entry;
        (void)m.wide.ToWide(s.entry, &entry);
        const WideString now =
            TrustedPathList::Body(m.reg.GetWideString(RegRoot::CurrentUser, ProfileVariables(acad), kTrustedPaths)
                                      .value_or(WideString()));
        SetTrustedPaths(m, ProfileVariables(acad), now.empty() ? entry : entry + u";" + now);
    }
}

const State& Life::Base() {
    auto it = bases_.find(baseOps_.size());
    if (it != bases_.end()) return it->second;
    FakeMachine base;
    for (const Step& s : baseOps_) ApplyBase(base, s);
    return bases_[baseOps_.size()] = Normalised(base, false);
}

const State& Life::Reference(int folder, unsigned ticks) {
    const auto key = std::make_pair(baseOps_.size(), std::make_pair(folder, ticks));
    auto it = references_.find(key);
    if (it != references_.end()) return it->second;
    FakeMachine ref;
    for (const Step& s : baseOps_) ApplyBase(ref, s);
    TickFlags flags{};
    for (int r = 0; r < kReleaseCount; ++r) flags[r] = (ticks >> r) & 1u;
    ScriptedObserver silent;
    silent.allOrNothing = true;
    const InstallResult r = ref.Install(silent, kChosen[folder], &flags);
    State state = Normalised(ref, true);
    if (r != InstallResult::Completed) state = {std::string("(the reference installation ended ") + ResultText(r) + ")"};
    return references_[key] = std::move(state);
}

std::optional<Failure> Life::Expected(std::size_t index, const std::string& category) {
    if (expect_ == Expect::Unknown) return std::nullopt;
    ++checks_;
    const bool installed = expect_ == Expect::Installed;
    const State& want = installed ? Reference(expectFolder_, expectTicks_) : Base();
    State now = Normalised(*m_, installed);
    for (bool dropped = true; dropped;) {
        dropped = false;
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (strays_.count(now[i]) == 0 || std::find(want.begin(), want.end(), now[i]) != want.end()) continue;
            bool holds = false;
            for (const std::string& other : now)
                holds = holds || (other != now[i] && other.compare(0, now[i].size(), now[i]) == 0);
            if (holds) continue;
            now.erase(now.begin() + static_cast<std::ptrdiff_t>(i));
            dropped = true;
            break;
        }
    }
    if (now == want) return std::nullopt;
    const std::string what = installed ? std::string("not what one installation leaves (into ") +
                                             kChosen[expectFolder_] + " ticking " + TicksText(expectTicks_) + ")"
                                       : "not the machine without the plug-in";
    return Failure{index, category, "    " + what + "\n" + Difference(now, want)};
}

std::optional<Failure> Life::Unchanged(std::size_t index, const std::string& given, const std::string& what) {
    ++checks_;
    // What a rewrite cut off by a crash left beside a journal may go: the
    // run's own rewrites (its rollback's too) go through that file.
    std::string before = given;
    const std::string current = m_->Snapshot(true);
    const std::string leftover = std::string(kJournalFileName) + kJournalRewriteSuffix + "=";
    for (std::size_t at = before.find(leftover); at != std::string::npos; at = before.find(leftover, at + 1)) {
        const std::size_t start = before.rfind('\n', at) == std::string::npos ? 0 : before.rfind('\n', at) + 1;
        std::size_t end = before.find('\n', at);
        // The file's text runs on to the next path of the snapshot.
        while (end != std::string::npos && end + 3 < before.size() &&
               !((before[end + 2] == ':' && before[end + 3] == '\\') || before.compare(end + 1, 2, "HK") == 0))
            end = before.find('\n', end + 1);
        end = end == std::string::npos ? before.size() : end + 1;
        const std::string block = before.substr(start, end - start);
        if (current.find(block) == std::string::npos) {
            before.erase(start, end - start);
            at = start;
        }
    }
    if (current == before) return std::nullopt;
    std::istringstream a(before);
    State was;
    for (std::string l; std::getline(a, l);) was.push_back(l);
    std::istringstream b(m_->Snapshot(true));
    State now;
    for (std::string l; std::getline(b, l);) now.push_back(l);
    std::sort(was.begin(), was.end());
    std::sort(now.begin(), now.end());
    return Failure{index, what + ", yet the machine changed", Difference(now, was)};
}

std::optional<std::string> Life::UninstallerFolder() const {
    // Where Programs and Features says it is; failing that, the folder
    // last installed into that holds one.
    const std::optional<std::string> listed =
        m_->reg.GetString(RegRoot::LocalMachine, kUninstallKey, "InstallLocation");
    std::vector<std::string> candidates;
    if (listed) candidates.push_back(*listed);
    if (lastFolder_) candidates.push_back(FakeMachine::InstallFolder(kChosen[*lastFolder_]));
    for (const char* chosen : kChosen) candidates.push_back(FakeMachine::InstallFolder(chosen));
    for (const std::string& folder : candidates)
        if (m_->fs.Exists(folder + "\\" + kUninstallerName)) return folder;
    return std::nullopt;
}

std::optional<Failure> Life::InstallStep(const Step& s, std::size_t index) {
    FakeMachine& m = *m_;
    const unsigned ticks = s.ticks & DetectedTicks();
    if (ticks == 0) {
        Note(": nothing detected to tick, not run");
        return std::nullopt;
    }
    TickFlags flags{};
    for (int r = 0; r < kReleaseCount; ++r) flags[r] = (ticks >> r) & 1u;
    const std::string folder = FakeMachine::InstallFolder(kChosen[s.folder]);

    // The fault, armed for this run only.
    std::string failingCopy;
    std::pair<RegRoot, std::string> failingKey{RegRoot::LocalMachine, std::string()};
    if (s.kind == Kind::InstallFault) {
        if (s.fault == Fault::PayloadCopy) {
            failingCopy = folder + "\\" + kModules[s.pick % 4];
        } else if (s.fault == Fault::SupportCopy) {
            std::vector<std::string> targets;
            for (int r = 0; r < kReleaseCount; ++r)
                if ((ticks >> r) & 1u)
                    for (const std::string& location : m.info.m_arrAcadLocation[r])
                        for (const auto& [file, content] : kSupportFiles)
                            if (m.fs.IsFolder(location + "\\" + std::string(file).substr(0, std::string(file).find('\\'))))
                                targets.push_back(location + "\\" + file);
            if (!targets.empty()) failingCopy = targets[s.pick % targets.size()];
        } else if (s.fault == Fault::DemandLoadWrite) {
            std::vector<std::string> keys;
            for (int r = 0; r < kReleaseCount; ++r)
                if ((ticks >> r) & 1u)
                    for (const std::string& product : m.info.m_arrProductKey[r])
                        keys.push_back(product + "Applications\\TX_BatchPlot" + std::to_string(kReleases[r].year));
            failingKey = {RegRoot::LocalMachine, keys[s.pick % keys.size()]};
        } else {
            std::vector<std::string> keys;
            for (const AcadInstallation& acad : Acads())
                if (m.reg.HasKey(RegRoot::CurrentUser, ProfileVariables(acad))) keys.push_back(ProfileVariables(acad));
            failingKey = {RegRoot::CurrentUser, keys[s.pick % keys.size()]};
        }
        if (!failingCopy.empty()) m.fs.FailCopyTo(failingCopy, 1);
        if (!failingKey.second.empty())
            m.reg.SetFaults(failingKey.first, failingKey.second,
                            FakeRegistry::kFailWrite | FakeRegistry::kFailCreate | FakeRegistry::kFailOnce);
        Note(" [" + (failingCopy.empty() ? failingKey.second : failingCopy) + "]");
    }

    const std::string before = m.Snapshot(true);
    const std::size_t copiesBefore = m.fs.CopyCalls().size();
    Answers answers(s.silent, s.kind == Kind::InstallFault ? s.answer : CopyFailedAnswer::Abort);
    if (s.kind == Kind::InstallCut) m.CutOffAt(s.at, s.cut);
    lastFolder_ = s.folder;
    m.log.Clear();
    const InstallResult result = m.Install(answers, kChosen[s.folder], &flags);
    const bool cut = s.kind == Kind::InstallCut && m.EndCutOff();
    if (!failingCopy.empty()) m.fs.FailCopyTo(failingCopy, 0);
    if (!failingKey.second.empty()) m.reg.SetFaults(failingKey.first, failingKey.second, 0);

    if (cut) {
        Note(": cut off");
        const std::optional<std::string> entry =
            m.reg.GetString(RegRoot::LocalMachine, kUninstallKey, "InstallLocation");
        if (!entry || !m.cp.EqualsNoCase(*entry, folder)) {
            for (const std::string& level : {std::string(kChosen[s.folder]), folder})
                if (m.fs.IsFolder(level) && before.find("\n" + level + "\\\n") == std::string::npos)
                    strays_.insert(level + "\\");
            strays_.insert(folder + "\\" + kJournalFileName + "=(journal)");
            // A rewrite's first half, cut off before it was swapped in.
            const std::string rewrite = folder + "\\" + kJournalFileName + kJournalRewriteSuffix;
            if (m.fs.Exists(rewrite)) strays_.insert(rewrite + "=" + m.fs.Content(rewrite));
        }
        expect_ = Expect::Unknown;
        return std::nullopt;
    }
    Note(std::string(": ") + ResultText(result));
    if (result != InstallResult::Completed)
        return Unchanged(index, before, std::string("an installation that ended ") + ResultText(result));

    // A copy that failed on the way (the fault, or a file in use) and was
    // not tried again: the run completed without it, as it was told to.
    bool skipped = false;
    const auto& copies = m.fs.CopyCalls();
    for (std::size_t i = copiesBefore; i < copies.size(); ++i) {
        if (copies[i].ok) continue;
        const bool retried = s.answer == CopyFailedAnswer::Retry && answers.asked == 1 &&
                             m.cp.EqualsNoCase(copies[i].target, failingCopy) && s.kind == Kind::InstallFault;
        if (!retried) skipped = true;
    }
    // A failed key or value in an interactive run is skipped without a word.
    if (s.kind == Kind::InstallFault && !failingKey.second.empty() && !s.silent) skipped = true;
    // So is a support file, whichever way it is written.
    for (const std::string& line : m.log.Lines())
        if (line.compare(0, 9, "skipped: ") == 0) skipped = true;
    if (skipped) {
        Note(", something skipped");
        expect_ = Expect::Unknown;
        return std::nullopt;
    }
    expect_ = Expect::Installed;
    expectFolder_ = s.folder;
    expectTicks_ = ticks;
    return Expected(index, "after a completed installation");
}

std::optional<Failure> Life::UninstallStep(const Step& s, std::size_t index) {
    FakeMachine& m = *m_;
    const std::optional<std::string> folder = UninstallerFolder();
    if (!folder) {
        Note(": no uninstaller to run");
        return std::nullopt;
    }
    Note(" from " + *folder);
    if (s.inUse != InUse::None) {
        std::vector<std::string> files;
        if (s.inUse == InUse::Module) {
            for (const char* name : kModules)
                if (m.fs.Exists(*folder + "\\" + name)) files.push_back(*folder + "\\" + name);
        } else {
            for (const AcadInstallation& acad : Acads())
                for (const auto& [file, content] : kSupportFiles)
                    if (m.fs.Exists(acad.location + "\\" + file) && m.fs.Content(acad.location + "\\" + file) == content)
                        files.push_back(acad.location + "\\" + file);
        }
        if (!files.empty()) {
            const std::string file = files[s.pick % files.size()];
            m.fs.SetInUse(file);
            inUse_.push_back(file);
            Note(" (" + file + " in use)");
        }
    }
    if (s.kind == Kind::UninstallCut) m.CutOffAt(s.at, s.cut);
    m.log.Clear();
    const int status = m.Uninstall(*folder);
    if (s.kind == Kind::UninstallCut && m.EndCutOff()) {
        Note(": cut off");
        // Cut off between its last two steps, the entry gone and the
        // journal not yet: only the folder with its journal and the
        // uninstaller is left, which nothing names any more.
        if (!m.reg.HasKey(RegRoot::LocalMachine, kUninstallKey) && m.fs.IsFolder(*folder)) {
            const std::size_t slash = folder->rfind('\\');
            for (const std::string& level : {folder->substr(0, slash), *folder})
                strays_.insert(level + "\\");
            strays_.insert(*folder + "\\" + kJournalFileName + "=(journal)");
            strays_.insert(*folder + "\\" + kUninstallerName + "=" + m.fs.Content(*folder + "\\" + kUninstallerName));
        }
        expect_ = Expect::Unknown;
        return std::nullopt;
    }
    Note(": exit " + std::to_string(status));
    if (status == kExitRestart) {
        // Checked once the restart has finished it.
        expect_ = Expect::Base;
        return std::nullopt;
    }
    if (status != kExitDone) {
        expect_ = Expect::Unknown;
        std::string log;
        for (const std::string& line : m.log.Lines()) log += "      log: " + line + "\n";
        return Failure{index, "uninstall ended " + std::to_string(status),
                       log + "    left:\n" + Difference(Normalised(m, false), Base())};
    }
    expect_ = Expect::Base;
    return Expected(index, "after a completed uninstall");
}

std::optional<Failure> Life::Apply(const Step& s, std::size_t index) {
    FakeMachine& m = *m_;
    trace_.push_back(Describe(s));
    switch (s.kind) {
        case Kind::Install:
        case Kind::InstallCut:
        case Kind::InstallFault:
            return InstallStep(s, index);
        case Kind::Uninstall:
        case Kind::UninstallCut:
            return UninstallStep(s, index);
        case Kind::Restart:
            m.fs.Restart();
            inUse_.clear();
            return Expected(index, "after the restart");
        case Kind::Release:
            // Closed before any restart: what the uninstall left to the
            // restart is still pending.
            for (const std::string& file : inUse_) m.fs.SetInUse(file, false);
            inUse_.clear();
            return std::nullopt;
        case Kind::AcadAdd:
        case Kind::AcadRemove: {
            // AutoCAD's own installers want the restart first.
            if (RestartPending()) {
                Note(": waits for the restart, not run");
                return std::nullopt;
            }
            if (Present(m, Acads()[s.acad]) == (s.kind == Kind::AcadAdd)) {
                Note(": nothing to do");
                return std::nullopt;
            }
            ApplyBase(m, s);
            baseOps_.push_back(s);
            // The installation predates it: only base still holds.
            if (expect_ == Expect::Installed) expect_ = Expect::Unknown;
            return std::nullopt;
        }
        case Kind::TrustAdd:
            if (!m.reg.HasKey(RegRoot::CurrentUser, ProfileVariables(Acads()[s.acad]))) {
                Note(": no such profile");
                return std::nullopt;
            }
            ApplyBase(m, s);
            baseOps_.push_back(s);
            return std::nullopt;
        case Kind::TrustRemoveOurs: {
            const std::string key = ProfileVariables(Acads()[s.acad]);
            const std::optional<WideString> value = m.reg.GetWideString(RegRoot::CurrentUser, key, kTrustedPaths);
            if (!value) return std::nullopt;
            std::vector<WideString> ours;
            for (const char* chosen : kChosen) {
                WideString w;
                (void)m.wide.ToWide(FakeMachine::InstallFolder(chosen), &w);
                ours.push_back(m.wide.UpperWide(w));
            }
            WideString kept;
            bool removed = false;
            for (const WideString& e : TrustedPathList(TrustedPathList::Body(*value)).Entries()) {
                if (std::find(ours.begin(), ours.end(), m.wide.UpperWide(e)) != ours.end()) {
                    removed = true;
                    continue;
                }
                kept += (kept.empty() ? u"" : u";") + e;
            }
            if (!removed) {
                Note(": none there");
                return std::nullopt;
            }
            SetTrustedPaths(m, key, kept);
            expect_ = Expect::Unknown;
            return std::nullopt;
        }
        case Kind::Damage: {
            std::vector<std::string> files;
            std::vector<std::string> keys;
            if (s.damage == Damage::Module) {
                for (const char* chosen : kChosen)
                    for (const char* name : kModules) {
                        const std::string path = FakeMachine::InstallFolder(chosen) + "\\" + name;
                        if (m.fs.Exists(path)) files.push_back(path);
                    }
            } else if (s.damage == Damage::SupportFile) {
                for (const AcadInstallation& acad : Acads())
                    for (const auto& [file, content] : kSupportFiles)
                        if (m.fs.Exists(acad.location + "\\" + file) &&
                            m.fs.Content(acad.location + "\\" + file) == content)
                            files.push_back(acad.location + "\\" + file);
            } else {
                for (const AcadInstallation& acad : Acads()) {
                    const std::string apps = ProductKey(acad) + "\\Applications";
                    for (const std::string& sub : m.reg.Subkeys(RegRoot::LocalMachine, apps)) {
                        const std::string loader =
                            m.reg.GetString(RegRoot::LocalMachine, apps + "\\" + sub, "LOADER").value_or("");
                        if (loader.find("Tarnix批打印软件") != std::string::npos) keys.push_back(apps + "\\" + sub);
                    }
                }
            }
            if (!files.empty()) {
                const std::string file = files[s.pick % files.size()];
                (void)m.fs.SetAttributes(file, kAttrNormal);
                if (!m.fs.DeleteFile(file)) {
                    Note(": " + file + " cannot be deleted");
                    return std::nullopt;
                }
                Note(": " + file);
            } else if (!keys.empty()) {
                const std::string key = keys[s.pick % keys.size()];
                (void)m.reg.DeleteKey(kHkeyLocalMachine, key.c_str());
                Note(": " + key);
            } else {
                Note(": none there");
                return std::nullopt;
            }
            expect_ = Expect::Unknown;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Random lives

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    unsigned Below(unsigned bound) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<unsigned>((state_ >> 11) % bound);
    }
    bool OneIn(unsigned n) { return Below(n) == 0; }

private:
    std::uint64_t state_;
};

// The next step for the life as it stands.
Step NextStep(Random& rnd, Life& life, const std::vector<Step>& so_far) {
    Step s;
    s.folder = static_cast<int>(rnd.Below(kChosenCount));
    s.silent = rnd.OneIn(2);
    s.pick = rnd.Below(1000);
    const unsigned detected = life.DetectedTicks();
    for (int r = 0; r < kReleaseCount; ++r)
        if (((detected >> r) & 1u) && rnd.OneIn(2)) s.ticks |= 1u << r;
    if (s.ticks == 0 && detected != 0) {
        std::vector<int> all;
        for (int r = 0; r < kReleaseCount; ++r)
            if ((detected >> r) & 1u) all.push_back(r);
        s.ticks = 1u << all[rnd.Below(static_cast<unsigned>(all.size()))];
    }
    const bool pending = life.RestartPending();
    const bool holding = life.Holding();
    const bool uninstallable = life.UninstallerFolder().has_value();
    const bool cutUninstallBefore = !so_far.empty() && so_far.back().kind == Kind::UninstallCut;
    for (;;) {
        const unsigned roll = rnd.Below(100);
        if (cutUninstallBefore && uninstallable && roll < 70) {
            s.kind = Kind::Uninstall;  // run again
        } else if (pending && roll < 40) {
            s.kind = holding && rnd.OneIn(2) ? Kind::Release : Kind::Restart;
        } else if (roll < 24) {
            s.kind = Kind::Install;
        } else if (roll < 36) {
            s.kind = Kind::InstallCut;
            s.at = static_cast<long>(rnd.Below(90));
            s.cut = static_cast<Cut>(rnd.Below(3));
        } else if (roll < 46) {
            s.kind = Kind::InstallFault;
            s.fault = static_cast<Fault>(rnd.Below(4));
            s.answer = static_cast<CopyFailedAnswer>(rnd.Below(3));
        } else if (roll < 62) {
            s.kind = Kind::Uninstall;
            s.inUse = rnd.OneIn(3) ? static_cast<InUse>(1 + rnd.Below(2)) : InUse::None;
        } else if (roll < 67) {
            s.kind = Kind::UninstallCut;
            s.at = static_cast<long>(rnd.Below(60));
            s.cut = static_cast<Cut>(rnd.Below(3));
        } else if (roll < 69) {
            s.kind = Kind::Restart;
        } else if (roll < 77) {
            s.acad = static_cast<int>(rnd.Below(static_cast<unsigned>(Acads().size())));
            s.kind = Present(life.machine(), Acads()[s.acad]) ? Kind::AcadRemove : Kind::AcadAdd;
            if (pending) continue;
        } else if (roll < 89) {
            s.kind = Kind::Damage;
            s.damage = static_cast<Damage>(rnd.Below(3));
        } else if (roll < 95) {
            s.kind = Kind::TrustAdd;
            s.acad = static_cast<int>(rnd.Below(static_cast<unsigned>(Acads().size())));
            s.entry = "E:\\Blocks" + std::to_string(rnd.Below(100));
        } else {
            s.kind = Kind::TrustRemoveOurs;
            s.acad = static_cast<int>(rnd.Below(static_cast<unsigned>(Acads().size())));
        }
        const bool installs = s.kind == Kind::Install || s.kind == Kind::InstallCut || s.kind == Kind::InstallFault;
        if (installs && s.ticks == 0) continue;
        if ((s.kind == Kind::Uninstall || s.kind == Kind::UninstallCut) && !uninstallable) continue;
        return s;
    }
}

struct Outcome {
    std::vector<Step> steps;
    std::optional<Failure> failure;
    std::size_t stepsRun = 0;
};

Outcome RunSeed(unsigned seed, unsigned maxSteps, Life& life) {
    Random rnd(seed);
    Outcome out;
    const unsigned count = 1 + rnd.Below(maxSteps);
    (void)life.Run({});
    for (unsigned i = 0; i < count; ++i) {
        out.steps.push_back(NextStep(rnd, life, out.steps));
        ++out.stepsRun;
        out.failure = life.Apply(out.steps.back(), i);
        if (out.failure) break;
    }
    return out;
}

// Drops steps while the life still fails the same way.
std::vector<Step> Shrink(std::vector<Step> steps, const std::string& category, Life& life) {
    for (bool dropped = true; dropped;) {
        dropped = false;
        for (std::size_t i = steps.size(); i-- > 0;) {
            std::vector<Step> fewer = steps;
            fewer.erase(fewer.begin() + static_cast<long>(i));
            const std::optional<Failure> f = life.Run(fewer);
            if (f && f->category == category) {
                fewer.resize(f->step + 1);
                steps = std::move(fewer);
                dropped = true;
            }
        }
    }
    return steps;
}

std::string Story(Life& life, const std::vector<Step>& steps) {
    const std::optional<Failure> f = life.Run(steps);
    std::string out;
    for (std::size_t i = 0; i < life.Trace().size(); ++i)
        out += "    " + std::to_string(i + 1) + ". " + life.Trace()[i] + "\n";
    if (f) out += "    => after step " + std::to_string(f->step + 1) + ": " + f->category + "\n" + f->detail;
    else out += "    => no longer fails\n";
    return out;
}

unsigned EnvNumber(const char* name, unsigned fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? static_cast<unsigned>(std::strtoul(v, nullptr, 10)) : fallback;
}

TEST(ConvergenceTest, EveryRunConverges) {
    const unsigned maxSteps = EnvNumber("TX_CONVERGE_STEPS", 12);
    const char* one = std::getenv("TX_CONVERGE_SEED");
    const unsigned first = one != nullptr && *one != '\0' ? EnvNumber("TX_CONVERGE_SEED", 1) : 1;
    const unsigned count = one != nullptr && *one != '\0' ? 1 : EnvNumber("TX_CONVERGE_SEQUENCES", 2000);
    // How many failing lives are shrunk and shown.
    const std::size_t examples = EnvNumber("TX_CONVERGE_EXAMPLES", 12);

    const auto start = std::chrono::steady_clock::now();
    Life life;
    std::size_t steps = 0;
    std::size_t checks = 0;
    std::map<std::string, unsigned> failing;  // sequences by the check that failed
    std::vector<std::pair<unsigned, Outcome>> failed;
    for (unsigned seed = first; seed < first + count; ++seed) {
        Outcome o = RunSeed(seed, maxSteps, life);
        steps += o.stepsRun;
        checks += static_cast<std::size_t>(life.Checks());
        if (count == 1) std::cout << "seed " << seed << ":\n" << Story(life, o.steps);
        if (!o.failure) continue;
        ++failing[o.failure->category];
        if (failed.size() < examples) failed.emplace_back(seed, std::move(o));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "convergence: " << count << " sequences, " << steps << " steps, " << checks
              << " checks in " << seconds << " s\n";
    if (failing.empty()) return;

    std::string report;
    for (const auto& [category, n] : failing)
        report += std::to_string(n) + " of " + std::to_string(count) + " sequences fail " + category + "\n";
    // The shortest form of the first failing lives, each shape once.
    std::map<std::string, std::string> shapes;
    for (auto& [seed, o] : failed) {
        const std::vector<Step> shrunk = Shrink(o.steps, o.failure->category, life);
        std::string shape = o.failure->category;
        for (const Step& s : shrunk) shape += "," + std::to_string(static_cast<int>(s.kind));
        if (shapes.count(shape) != 0) continue;
        shapes[shape] = "seed " + std::to_string(seed) + " (TX_CONVERGE_SEED=" + std::to_string(seed) +
                        "), shrunk from " + std::to_string(o.steps.size()) + " to " +
                        std::to_string(shrunk.size()) + " steps:\n" + Story(life, shrunk);
        report += shapes[shape];
    }
    std::cout << report << std::flush;
    ADD_FAILURE() << report;
}

}  // namespace
}  // namespace tx

namespace tx {
namespace {

// Lives written out, so that what random lives may take long to meet is
// met on every run: another folder, fewer ticks, repairs, an installation
// before the restart an uninstall asked for, AutoCAD gone before the
// uninstall.
TEST(ConvergenceTest, WrittenLivesConverge) {
    const unsigned all = (1u << ReleaseIndexOfYear(2008)) | (1u << ReleaseIndexOfYear(2019)) |
                         (1u << ReleaseIndexOfYear(2024));
    const auto install = [](int folder, unsigned ticks) {
        Step s;
        s.kind = Kind::Install;
        s.folder = folder;
        s.ticks = ticks;
        return s;
    };
    const auto step = [](Kind kind) {
        Step s;
        s.kind = kind;
        return s;
    };
    Step inUse = step(Kind::Uninstall);
    inUse.inUse = InUse::Module;
    Step acadGone = step(Kind::AcadRemove);
    acadGone.acad = 0;  // AutoCAD 2008
    std::vector<std::pair<const char*, std::vector<Step>>> lives = {
        {"another folder", {install(0, all), install(1, all), step(Kind::Uninstall)}},
        {"fewer ticks", {install(0, all), install(0, 1u << ReleaseIndexOfYear(2008))}},
        {"install before the restart",
         {install(0, all), inUse, step(Kind::Release), install(0, all), step(Kind::Restart)}},
        {"AutoCAD gone", {install(1, all), acadGone, step(Kind::Uninstall)}},
    };
    for (Damage damage : {Damage::Module, Damage::SupportFile, Damage::DemandLoadKey}) {
        Step d = step(Kind::Damage);
        d.damage = damage;
        lives.push_back({"repair", {install(0, all), d, install(0, all)}});
    }
    Life life;
    for (const auto& [name, steps] : lives) {
        const std::optional<Failure> f = life.Run(steps);
        if (f) ADD_FAILURE() << name << ":\n" << Story(life, steps);
    }
}

}  // namespace
}  // namespace tx
