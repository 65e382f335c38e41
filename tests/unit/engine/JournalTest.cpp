// The journal: its lines read back as written, any damage but a torn last
// line refused, the lines of several runs merged, its file rewritten in
// one step, and a run writing each line before its change.
// The literals below are compiled to code page 936 bytes.
#include "engine/Journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/InstallEngine.h"
#include "engine/actions/DemandLoadKey.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/FileWrittenNew.h"
#include "engine/actions/FolderMade.h"
#include "engine/actions/MachineKeyMade.h"
#include "engine/actions/PathOutOfReach.h"
#include "engine/actions/ProgramKey.h"
#include "engine/actions/TrustedPathsValue.h"
#include "engine/actions/UninstallerCopy.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeMachine.h"

namespace tx {
namespace {

const CodePage kGbk(936);
const std::string kFolder = "C:\\Tarnix\\Tarnix批打印软件";
const std::string kApps = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications";
const std::string kVars = "Software\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\a\\Variables";
const std::string kEntry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TarnixBatchPlot";

using Lines = std::vector<std::vector<std::string>>;

RegValueState Value(std::uint32_t type, std::vector<unsigned char> data) {
    RegValueState v;
    v.keyExists = true;
    v.valueExists = true;
    v.type = type;
    v.data = std::move(data);
    return v;
}

RegValueState NoValue() {
    RegValueState v;
    v.keyExists = true;
    return v;
}

template <class A, class... Args>
void Add(ActionList& list, Args&&... args) {
    list.push_back(std::make_unique<A>(std::forward<Args>(args)...));
}

// One action of every kind, in the order the old program wrote them.
ActionList Sample() {
    ActionList a;
    Add<FolderMade>(a, "C:\\Tarnix", true);
    Add<FolderMade>(a, kFolder, true);
    Add<FileWrittenNew>(a, "", kFolder + "\\TX_BatchPlot2008.ARX", ActionRole::Payload, false);
    Add<FileReplaced>(a, "", "C:\\Program Files\\AutoCAD 2008\\Drv\\pdfplot9.hdi",
                      kFolder + "\\Backup\\1-pdfplot9.hdi", ActionRole::Quiet);
    Add<FileWrittenNew>(a, "", "C:\\odd\tname%20\\x", ActionRole::Payload, false);
    Add<MachineKeyMade>(a, kApps);
    Add<DemandLoadKey>(a, kApps + "\\TX_BatchPlot2008", kFolder + "\\TX_BatchPlot2008.ARX");
    Add<TrustedPathsValue>(a, kVars, Value(1, {'D', 0, ':', 0, 0, 0}), Value(1, {'X', 0, 0, 0}));
    Add<TrustedPathsValue>(a, "k2", RegValueState{}, Value(2, {}));
    Add<TrustedPathsValue>(a, "k3", NoValue(), Value(1, {0, 0}));
    Add<ProgramKey>(a, kEntry, std::vector<KeyValue>());
    Add<ProgramKey>(a, "HKCU\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\TarnixBatchPlot",
                    std::vector<KeyValue>());
    Add<UninstallerCopy>(a, kFolder + "\\Uninstall.exe", "");
    return a;
}

// The same installation as the old program wrote it, version 1.
const std::string kVersion1Text =
    "TARNIX-INSTALL-RECORD\t1\n"
    "installation\tC:\\Tarnix\\Tarnix批打印软件\n"
    "folder\tC:\\Tarnix\n"
    "folder\tC:\\Tarnix\\Tarnix批打印软件\n"
    "file-new\tC:\\Tarnix\\Tarnix批打印软件\\TX_BatchPlot2008.ARX\n"
    "file-replaced\tC:\\Program Files\\AutoCAD 2008\\Drv\\pdfplot9.hdi\t"
    "C:\\Tarnix\\Tarnix批打印软件\\Backup\\1-pdfplot9.hdi\n"
    "file-new\tC:\\odd%09name%2520\\x\n"
    "machine-key\tSOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications\n"
    "demand-load\tSOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications\\TX_BatchPlot2008\t"
    "C:\\Tarnix\\Tarnix批打印软件\\TX_BatchPlot2008.ARX\n"
    "trusted-paths\tSoftware\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\a\\Variables\t"
    "1:44003A000000\t1:58000000\n"
    "trusted-paths\tk2\tnokey\t2:\n"
    "trusted-paths\tk3\tnone\t1:0000\n"
    "uninstall-entry\tSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TarnixBatchPlot\n"
    "uninstall-entry\tHKCU\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\TarnixBatchPlot\n"
    "uninstaller\tC:\\Tarnix\\Tarnix批打印软件\\Uninstall.exe\n";

Lines FieldsOf(const ActionList& actions) {
    Lines lines;
    for (const auto& a : actions) lines.push_back(a->Fields());
    return lines;
}

TEST(JournalFormat, EveryActionReadsBackAsWritten) {
    const ActionList original = Sample();
    const std::string text = FormatJournal(kFolder, original);
    // One action a line, readable: the folder appears as it is.
    EXPECT_EQ(0u, text.find("TARNIX-INSTALL-RECORD\t2\ninstallation\t" + kFolder + "\n"));
    EXPECT_NE(std::string::npos, text.find("\nfile-new\tC:\\odd%09name%2520\\x\n")) << text;
    JournalContent parsed;
    std::string error;
    ASSERT_TRUE(ParseJournal(text, &parsed, &error)) << error;
    EXPECT_EQ(2, parsed.version);
    EXPECT_EQ(kFolder, parsed.installFolder);
    EXPECT_FALSE(parsed.droppedTornLine);
    EXPECT_EQ(FieldsOf(original), FieldsOf(parsed.actions));
    // Saved again by an editor with CR LF: still the same journal.
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    JournalContent again;
    ASSERT_TRUE(ParseJournal(crlf, &again, &error)) << error;
    EXPECT_EQ(FieldsOf(original), FieldsOf(again.actions));
}

TEST(JournalFormat, VersionOneReadsIntoTheSameActions) {
    JournalContent parsed;
    std::string error;
    ASSERT_TRUE(ParseJournal(kVersion1Text, &parsed, &error)) << error;
    EXPECT_EQ(1, parsed.version);
    EXPECT_EQ(kFolder, parsed.installFolder);
    EXPECT_EQ(FieldsOf(Sample()), FieldsOf(parsed.actions));
    // Written again, it is version 2 with the same lines.
    std::string version2 = kVersion1Text;
    version2.replace(version2.find("\t1\n"), 3, "\t2\n");
    EXPECT_EQ(version2, FormatJournal(parsed.installFolder, parsed.actions));
}

TEST(JournalFormat, UninstallerLineCarriesItsBackupFromVersionTwoOn) {
    const std::string header = JournalHeader(kFolder);
    const std::string line = "uninstaller\tC:\\x\\Uninstall.exe\tC:\\x\\Backup\\1-Uninstall.exe\n";
    JournalContent parsed;
    ASSERT_TRUE(ParseJournal(header + line, &parsed));
    ASSERT_EQ(1u, parsed.actions.size());
    EXPECT_EQ("C:\\x\\Backup\\1-Uninstall.exe",
              dynamic_cast<const UninstallerCopy&>(*parsed.actions[0]).Backup());
    EXPECT_EQ(header + line, FormatJournal(kFolder, parsed.actions));

    std::string version1 = header;
    version1.replace(version1.find("\t2\n"), 3, "\t1\n");
    std::string error;
    EXPECT_FALSE(ParseJournal(version1 + line, &parsed, &error));
    EXPECT_FALSE(error.empty());
}

TEST(JournalFormat, FieldsAndValueStatesAreEscapedToOneLine) {
    EXPECT_EQ("a%25b%09c%0D%0Ad%00e%7F", EscapeField(std::string("a%b\tc\r\nd\0e\x7F", 11)));
    // A trail byte of a double-byte character is never escaped, 0x5C included.
    EXPECT_EQ("C:\\\x95\x5C\\批打印", EscapeField("C:\\\x95\x5C\\批打印"));

    EXPECT_EQ("nokey", ValueStateText(RegValueState{}));
    EXPECT_EQ("none", ValueStateText(NoValue()));
    EXPECT_EQ("2:", ValueStateText(Value(2, {})));
    EXPECT_EQ("4294967295:00FFA5", ValueStateText(Value(0xFFFFFFFFu, {0x00, 0xFF, 0xA5})));
    for (const RegValueState& v :
         {RegValueState{}, NoValue(), Value(2, {}), Value(0xFFFFFFFFu, {0x00, 0xFF, 0xA5})}) {
        RegValueState back;
        ASSERT_TRUE(ParseValueState(ValueStateText(v), &back)) << ValueStateText(v);
        EXPECT_TRUE(back == v) << ValueStateText(v);
        EXPECT_EQ(v.keyExists, back.keyExists) << ValueStateText(v);
    }
    RegValueState v;
    EXPECT_TRUE(ParseValueState("1:0aff", &v)) << "either letter case";
    EXPECT_EQ((std::vector<unsigned char>{0x0A, 0xFF}), v.data);
    for (const char* bad : {"4294967296:00", "1:0", "1:GG", ":00", "x1:00", "", "None"})
        EXPECT_FALSE(ParseValueState(bad, &v)) << bad;
}

TEST(JournalFormat, OnlyJournaledActionsHaveALine) {
    EXPECT_EQ("folder\tC:\\x\n", JournalLine(FolderMade("C:\\x")));
    EXPECT_EQ("file-new\tC:\\x\\a%09b\n",
              JournalLine(FileWrittenNew("C:\\Pkg\\Data\\a", "C:\\x\\a\tb", ActionRole::Payload, false)));
    // A second copy onto a target of the same run, a key an earlier run
    // journaled, a copy that is never made.
    EXPECT_EQ("", JournalLine(FileWrittenNew("s", "C:\\x\\a", ActionRole::Payload, false, false)));
    EXPECT_EQ("", JournalLine(DemandLoadKey("k", "C:\\x\\m.arx", false)));
    EXPECT_EQ("", JournalLine(ProgramKey(kEntry, {}, false)));
    EXPECT_EQ("", JournalLine(PathOutOfReach("C:\\x\\a", ActionRole::Payload)));
}

TEST(JournalFormat, TornLastLineIsDroppedAndAnythingElseRefused) {
    const std::string good = FormatJournal(kFolder, Sample());
    const std::string lastLine = JournalLine(*Sample().back());
    for (const std::string& torn :
         {good.substr(0, good.size() - 1), good.substr(0, good.size() - lastLine.size() + 3),
          good.substr(0, good.size() - lastLine.size()) + "fol"}) {
        JournalContent parsed;
        std::string error;
        ASSERT_TRUE(ParseJournal(torn, &parsed, &error)) << error << "\n" << torn;
        EXPECT_TRUE(parsed.droppedTornLine);
        ActionList whole = Sample();
        whole.pop_back();
        EXPECT_EQ(FieldsOf(whole), FieldsOf(parsed.actions));
    }

    const std::string header = JournalHeader(kFolder);
    std::string middleCut = good;
    middleCut.erase(middleCut.find("\nmachine-key"), 1);
    struct Case {
        const char* what;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"empty", ""},
        {"header cut", "TARNIX-INSTALL-RE"},
        {"installation line cut", header.substr(0, header.size() - 3)},
        {"two lines run together", middleCut},
        {"other header", "TARNIX-INSTALL-RECORDS\t2\n" + header.substr(header.find('\n') + 1)},
        {"other version", "TARNIX-INSTALL-RECORD\t3\n" + header.substr(header.find('\n') + 1)},
        {"header only", "TARNIX-INSTALL-RECORD\t2\n"},
        {"no installation line", "TARNIX-INSTALL-RECORD\t2\nfolder\tC:\\x\n"},
        {"empty installation folder", "TARNIX-INSTALL-RECORD\t2\ninstallation\t\n"},
        {"unknown action", header + "registry\tC:\\x\n"},
        {"missing field", header + "file-replaced\tC:\\x\n"},
        {"extra field", header + "folder\tC:\\x\tC:\\y\n"},
        {"empty field", header + "file-new\t\n"},
        {"empty line", header + "\n" + "folder\tC:\\x\n"},
        {"empty line at the end", header + "folder\tC:\\x\n\n"},
        {"bad escape", header + "folder\tC:\\%G1\n"},
        {"escape cut", header + "folder\tC:\\%4\n"},
        {"odd hex", header + "trusted-paths\tk\tnone\t1:414\n"},
        {"bad hex", header + "trusted-paths\tk\tnone\t1:41ZZ\n"},
        {"no type", header + "trusted-paths\tk\tnone\t:4100\n"},
        {"written absent", header + "trusted-paths\tk\tnone\tnone\n"},
        {"bad before", header + "trusted-paths\tk\tgone\t1:4100\n"},
        {"second installation line", header + "installation\tC:\\y\n"},
    };
    for (const Case& c : cases) {
        JournalContent parsed;
        parsed.installFolder = "untouched";
        std::string error;
        EXPECT_FALSE(ParseJournal(c.text, &parsed, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ("untouched", parsed.installFolder) << c.what;
    }
}

// --- Merging the runs of one folder --------------------------------------

TEST(JournalMerge, FirstBackupAndFirstBeforeStayAndLaterBackupsAreDropped) {
    ActionList runs;
    Add<FileReplaced>(runs, "", "C:\\A\\f.shx", "C:\\B\\1-f.shx", ActionRole::Quiet);
    Add<FolderMade>(runs, "C:\\A");
    Add<FileReplaced>(runs, "", "c:\\a\\F.SHX", "C:\\B\\2-f.shx", ActionRole::Quiet);
    Add<FileWrittenNew>(runs, "", "C:\\A\\g.shx", ActionRole::Quiet, false);
    Add<FileReplaced>(runs, "", "C:\\A\\g.shx", "C:\\B\\1-g.shx", ActionRole::Quiet);
    Add<TrustedPathsValue>(runs, "k", NoValue(), Value(1, {1, 0}));
    Add<TrustedPathsValue>(runs, "K", Value(1, {1, 0}), Value(1, {2, 0}));
    Add<TrustedPathsValue>(runs, "k", Value(1, {2, 0}), Value(1, {3, 0}));
    Add<DemandLoadKey>(runs, "d", "C:\\old\\x.arx");
    Add<DemandLoadKey>(runs, "D", "C:\\new\\x.arx");
    Add<FolderMade>(runs, "c:\\a");
    Add<UninstallerCopy>(runs, "C:\\A\\Uninstall.exe", "");
    Add<UninstallerCopy>(runs, "C:\\A\\Uninstall.exe", "C:\\B\\1-Uninstall.exe");
    Add<ProgramKey>(runs, kEntry, std::vector<KeyValue>());
    Add<ProgramKey>(runs, kEntry, std::vector<KeyValue>());

    std::vector<std::string> dropped;
    const ActionList merged = MergeJournal(std::move(runs), kGbk, &dropped);

    // One line per thing changed, where it was first journaled.
    EXPECT_EQ((Lines{{"file-replaced", "C:\\A\\f.shx", "C:\\B\\1-f.shx"},
                     {"folder", "C:\\A"},
                     // New the first time, so new for good.
                     {"file-new", "C:\\A\\g.shx"},
                     {"trusted-paths", "k", "none", "1:0300"},
                     {"demand-load", "D", "C:\\new\\x.arx"},
                     {"uninstaller", "C:\\A\\Uninstall.exe"},
                     {"uninstall-entry", kEntry}}),
              FieldsOf(merged));
    EXPECT_EQ((std::vector<std::string>{"C:\\B\\2-f.shx", "C:\\B\\1-g.shx", "C:\\B\\1-Uninstall.exe"}),
              dropped);
}

TEST(JournalMerge, FirstBeforeKeepsWhetherTheKeyWasThere) {
    ActionList runs;
    Add<TrustedPathsValue>(runs, kVars, RegValueState{}, Value(1, {'A', 0, 0, 0}));
    Add<TrustedPathsValue>(runs, kVars, Value(1, {'A', 0, 0, 0}), Value(1, {'B', 0, 0, 0}));
    std::vector<std::string> dropped;
    const ActionList merged = MergeJournal(std::move(runs), kGbk, &dropped);
    ASSERT_EQ(1u, merged.size());
    const auto& value = dynamic_cast<const TrustedPathsValue&>(*merged[0]);
    EXPECT_FALSE(value.Before().keyExists) << "the key the first run made goes with it";
    EXPECT_EQ('B', value.Written().data.at(0));
    EXPECT_TRUE(dropped.empty());
}

// --- The journal's file --------------------------------------------------

TEST(JournalFileTest, AppendsAreOnDiskAndARewriteSwapsInWhole) {
    FakeFileSystem fs;
    fs.AddFolder(kFolder);
    JournalFile file(fs, kFolder);
    EXPECT_EQ(kFolder + "\\InstallRecord.txt", file.Path());
    ASSERT_TRUE(file.Append(JournalHeader(kFolder) + "folder\tC:\\x\n"));
    fs.PowerCut();
    EXPECT_EQ(JournalHeader(kFolder) + "folder\tC:\\x\n", fs.Content(file.Path()));

    ASSERT_TRUE(file.Rewrite(JournalHeader(kFolder)));
    fs.PowerCut();
    EXPECT_EQ(JournalHeader(kFolder), fs.Content(file.Path()));
    EXPECT_EQ((std::vector<std::string>{"InstallRecord.txt"}), fs.Children(kFolder));

    // A swap that fails says why, and leaves the old journal and nothing
    // beside it.
    fs.FailReplace(file.Path());
    EXPECT_EQ(kErrorAccessDenied, file.Rewrite("something else\n").Code());
    EXPECT_EQ(JournalHeader(kFolder), fs.Content(file.Path()));
    EXPECT_EQ((std::vector<std::string>{"InstallRecord.txt"}), fs.Children(kFolder));
}

// --- A run writes each line before its change -------------------------------

// Reads the journal as it is on disk when a copy fails.
class PeekingObserver : public ScriptedObserver {
public:
    PeekingObserver(FakeFileSystem& fs, std::string journal) : fs_(fs), journal_(std::move(journal)) {}
    CopyFailedAnswer CopyFailed(const std::string& target) override {
        seen.push_back(fs_.Content(journal_));
        return ScriptedObserver::CopyFailed(target);
    }
    std::vector<std::string> seen;

private:
    FakeFileSystem& fs_;
    std::string journal_;
};

class JournalRunTest : public ::testing::Test {
protected:
    JournalContent Read() {
        JournalContent j;
        std::string error;
        EXPECT_TRUE(ParseJournal(m_.fs.Content(kJournal), &j, &error)) << error;
        return j;
    }
    // The journal's lines of one kind.
    Lines Named(const JournalContent& j, const std::string& kind) {
        Lines out;
        for (const auto& a : j.actions)
            if (a->Fields()[0] == kind) out.push_back(a->Fields());
        return out;
    }

    // The lines without what a TRUSTEDPATHS value was last written as.
    Lines Unwritten(const JournalContent& j) {
        Lines out = FieldsOf(j.actions);
        for (auto& line : out)
            if (line[0] == "trusted-paths") line.pop_back();
        return out;
    }

    FakeMachine m_;
    const std::string kInstall = FakeMachine::InstallFolder();
    const std::string kJournal = kInstall + "\\InstallRecord.txt";
    const std::string kFont = std::string(FakeMachine::kAcad2008) + "\\Fonts\\Tarnix_EN.shx";
};

TEST_F(JournalRunTest, EachLineIsOnDiskBeforeItsChange) {
    const std::string failing = kInstall + "\\itextsharp.dll";
    m_.fs.FailCopyTo(failing);
    PeekingObserver observer(m_.fs, kJournal);
    observer.copyAnswer = CopyFailedAnswer::Ignore;
    ASSERT_EQ(InstallResult::Completed, m_.Install(observer));

    // What was on disk when the copy failed: a whole journal, beginning with
    // the levels made before it could exist, and naming that copy.
    ASSERT_EQ(1u, observer.seen.size());
    JournalContent then;
    std::string error;
    ASSERT_TRUE(ParseJournal(observer.seen[0], &then, &error)) << error;
    EXPECT_FALSE(then.droppedTornLine);
    const Lines lines = FieldsOf(then.actions);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ((std::vector<std::string>{"folder", "C:\\Tarnix"}), lines[0]);
    EXPECT_EQ((std::vector<std::string>{"folder", kInstall}), lines[1]);
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(),
                                     std::vector<std::string>{"file-new", failing}));
}

TEST_F(JournalRunTest, BackupKeepsTheOldFileWithItsAttributes) {
    m_.fs.AddFile(kFont, "acad 2008 font", kAttrReadOnly | kAttrArchive);
    ScriptedObserver silent;
    silent.allOrNothing = true;
    ASSERT_EQ(InstallResult::Completed, m_.Install(silent));
    const std::string backup = kInstall + "\\Backup\\1-Tarnix_EN.shx";
    const Lines replaced = Named(Read(), "file-replaced");
    EXPECT_NE(replaced.end(), std::find(replaced.begin(), replaced.end(),
                                        std::vector<std::string>{"file-replaced", kFont, backup}));
    EXPECT_EQ("acad 2008 font", m_.fs.Content(backup));
    EXPECT_NE(0u, m_.fs.Attributes(backup) & kAttrReadOnly);
    EXPECT_EQ("font en", m_.fs.Content(kFont));
}

TEST_F(JournalRunTest, SecondInstallationKeepsTheFirstBackupAndTheFirstBefore) {
    const std::string vars2019 =
        "Software\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:804\\Profiles\\<<Unnamed Profile>>\\Variables";
    const RegValueState mine = ReadValueState(m_.reg, kHkeyCurrentUser, vars2019, "TRUSTEDPATHS");
    ASSERT_TRUE(mine.valueExists);
    ScriptedObserver silent;
    silent.allOrNothing = true;
    ASSERT_EQ(InstallResult::Completed, m_.Install(silent));
    const std::string firstBackup = kInstall + "\\Backup\\1-Tarnix_EN.shx";
    ASSERT_EQ("acad 2008 font", m_.fs.Content(firstBackup));
    const JournalContent first = Read();

    ASSERT_EQ(InstallResult::Completed, m_.Install(silent));
    const JournalContent second = Read();

    // The reinstall backed up this installation's own files while it could
    // still be undone; merged, only the machine's own backups are left.
    EXPECT_EQ(Unwritten(first), Unwritten(second));
    EXPECT_EQ("acad 2008 font", m_.fs.Content(firstBackup));
    EXPECT_EQ((std::vector<std::string>{"1-Tarnix_EN.shx", "1-pdfplot9.hdi"}),
              m_.fs.Children(kInstall + "\\Backup"));
    // The user's own trusted folder is what an uninstall puts back.
    const Lines trusted = Named(second, "trusted-paths");
    const auto line = std::find_if(trusted.begin(), trusted.end(),
                                   [&](const std::vector<std::string>& t) {
                                       return kGbk.EqualsNoCase(t[1], vars2019);
                                   });
    ASSERT_NE(trusted.end(), line);
    EXPECT_EQ(ValueStateText(mine), (*line)[2]);
}

TEST_F(JournalRunTest, NoBackupMeansNoLineAndNoOverwriting) {
    m_.fs.FailCopyTo(kInstall + "\\Backup\\1-Tarnix_EN.shx");
    ScriptedObserver dialog;
    ASSERT_EQ(InstallResult::Completed, m_.Install(dialog));
    EXPECT_TRUE(dialog.failedCopies.empty()) << "a font is skipped without a word";
    EXPECT_EQ("acad 2008 font", m_.fs.Content(kFont));
    for (const auto& line : FieldsOf(Read().actions)) EXPECT_NE(kFont, line.at(1));
    EXPECT_FALSE(m_.fs.Exists(kInstall + "\\Backup\\1-Tarnix_EN.shx"));
}

TEST_F(JournalRunTest, JournalThatCannotBeWrittenStopsEveryChange) {
    const std::string before = m_.Snapshot(true);
    m_.fs.FailAppendsAfter(kJournal, 0);
    ScriptedObserver silent;
    silent.allOrNothing = true;
    EXPECT_EQ(InstallResult::Failed, m_.Install(silent));
    EXPECT_EQ(before, m_.Snapshot(true));
    EXPECT_TRUE(m_.fs.CopyCalls().empty()) << "nothing copied without its line";
    // The first action fails for the append's reason: the disk is full.
    const auto failed = std::find_if(m_.log.Lines().begin(), m_.log.Lines().end(),
                                     [](const std::string& line) {
                                         return line.rfind("action failed: ", 0) == 0;
                                     });
    ASSERT_NE(m_.log.Lines().end(), failed);
    EXPECT_NE(std::string::npos, failed->find(" (error 112)")) << *failed;
}

TEST_F(JournalRunTest, OlderOrTornJournalIsRewrittenWholeBeforeTheRunAppends) {
    ScriptedObserver silent;
    silent.allOrNothing = true;
    // Twice: the first reinstall writes TRUSTEDPATHS upper-cased.
    ASSERT_EQ(InstallResult::Completed, m_.Install(silent));
    ASSERT_EQ(InstallResult::Completed, m_.Install(silent));
    const std::string merged = m_.fs.Content(kJournal);

    // As the old program left it, and cut short by a power cut.
    std::string version1 = merged;
    version1.replace(version1.find("\t2\n"), 3, "\t1\n");
    for (const std::string& earlier : {version1, merged + "file-new\tC:\\Tarnix\\x"}) {
        m_.fs.AddFile(kJournal, earlier);
        // Looked at halfway, when a copy fails once.
        m_.fs.FailCopyTo(kInstall + "\\itextsharp.dll", 1);
        PeekingObserver observer(m_.fs, kJournal);
        observer.copyAnswer = CopyFailedAnswer::Retry;
        observer.allOrNothing = false;
        ASSERT_EQ(InstallResult::Completed, m_.Install(observer));
        ASSERT_EQ(1u, observer.seen.size());
        JournalContent then;
        std::string error;
        ASSERT_TRUE(ParseJournal(observer.seen[0], &then, &error)) << error;
        EXPECT_EQ(2, then.version);
        EXPECT_FALSE(then.droppedTornLine);
        EXPECT_EQ(0u, observer.seen[0].find(merged)) << "the earlier lines first, whole";
        EXPECT_EQ(merged, m_.fs.Content(kJournal));
    }
}

TEST_F(JournalRunTest, DamagedJournalIsSetAsideAndTheRunStartsItsOwn) {
    m_.fs.AddFolder(kInstall);
    m_.fs.AddFile(kJournal, "TARNIX-INSTALL-RECORD\t2\ninstallation\t" + kInstall + "\n\nfolder\tC:\\x\n");
    const std::string damaged = m_.fs.Content(kJournal);
    ScriptedObserver silent;
    silent.allOrNothing = true;
    ASSERT_EQ(InstallResult::Completed, m_.Install(silent));
    EXPECT_EQ(damaged, m_.fs.Content(kJournal + ".damaged"));
    const JournalContent fresh = Read();
    EXPECT_EQ(kInstall, fresh.installFolder);
    EXPECT_FALSE(fresh.actions.empty());
    bool logged = false;
    for (const auto& line : m_.log.Lines()) logged = logged || line.find("journal damaged") == 0;
    EXPECT_TRUE(logged);
}

}  // namespace
}  // namespace tx
