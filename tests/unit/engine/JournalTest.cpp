// The install record: written as the actions happen, read back whole,
// refused when damaged, merged over several installations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deploy/InstallRecord.h"
#include "deploy/InstallRecorder.h"
#include "deploy/Deployment.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeUserIo.h"

namespace tx {
namespace {

const CodePage kGbk(936);
const std::string kFolder = "C:\\Tarnix\\Tarnix批打印软件";

RegValueState Value(std::uint32_t type, std::vector<unsigned char> data) {
    RegValueState v;
    v.keyExists = true;
    v.valueExists = true;
    v.type = type;
    v.data = std::move(data);
    return v;
}

InstallRecord Sample() {
    InstallRecord r;
    r.installFolder = kFolder;
    r.folders = {"C:\\Tarnix", kFolder};
    r.files = {{kFolder + "\\TX_BatchPlot2008.ARX", ""},
               {"C:\\Program Files\\AutoCAD 2008\\Drv\\pdfplot9.hdi",
                kFolder + "\\Backup\\1-pdfplot9.hdi"},
               {"C:\\odd\tname%20\\x", ""}};
    r.machineKeys = {"SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications"};
    r.demandLoads = {{"SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications\\TX_BatchPlot2008",
                      kFolder + "\\TX_BatchPlot2008.ARX"}};
    RegValueState absentKey;
    RegValueState absentValue;
    absentValue.keyExists = true;
    r.trustedPaths = {{"Software\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\a\\Variables",
                       Value(1, {'D', 0, ':', 0, 0, 0}), Value(1, {'X', 0, 0, 0})},
                      {"k2", absentKey, Value(2, {})},
                      {"k3", absentValue, Value(1, {0, 0})}};
    r.uninstallEntries = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TarnixBatchPlot"};
    r.uninstaller = kFolder + "\\Uninstall.exe";
    return r;
}

void ExpectSame(const InstallRecord& a, const InstallRecord& b) {
    EXPECT_EQ(a.installFolder, b.installFolder);
    EXPECT_EQ(a.folders, b.folders);
    ASSERT_EQ(a.files.size(), b.files.size());
    for (std::size_t i = 0; i < a.files.size(); ++i) {
        EXPECT_EQ(a.files[i].path, b.files[i].path);
        EXPECT_EQ(a.files[i].backup, b.files[i].backup);
    }
    EXPECT_EQ(a.machineKeys, b.machineKeys);
    ASSERT_EQ(a.demandLoads.size(), b.demandLoads.size());
    for (std::size_t i = 0; i < a.demandLoads.size(); ++i) {
        EXPECT_EQ(a.demandLoads[i].key, b.demandLoads[i].key);
        EXPECT_EQ(a.demandLoads[i].loader, b.demandLoads[i].loader);
    }
    ASSERT_EQ(a.trustedPaths.size(), b.trustedPaths.size());
    for (std::size_t i = 0; i < a.trustedPaths.size(); ++i) {
        EXPECT_EQ(a.trustedPaths[i].key, b.trustedPaths[i].key);
        EXPECT_TRUE(a.trustedPaths[i].before == b.trustedPaths[i].before) << i;
        EXPECT_TRUE(a.trustedPaths[i].written == b.trustedPaths[i].written) << i;
        EXPECT_EQ(a.trustedPaths[i].before.keyExists, b.trustedPaths[i].before.keyExists);
    }
    EXPECT_EQ(a.uninstallEntries, b.uninstallEntries);
    EXPECT_EQ(a.uninstaller, b.uninstaller);
}

TEST(InstallRecordFormat, EveryActionReadsBackAsWritten) {
    const InstallRecord original = Sample();
    const std::string text = FormatRecord(original);
    // One action a line, readable: the folder appears as it is.
    EXPECT_EQ(0u, text.find("TARNIX-INSTALL-RECORD\t1\ninstallation\t" + kFolder + "\n"));
    EXPECT_NE(std::string::npos, text.find("C:\\odd%09name%2520\\x")) << text;
    InstallRecord parsed;
    std::string error;
    ASSERT_TRUE(ParseRecord(text, kGbk, &parsed, &error)) << error;
    ExpectSame(original, parsed);
    // Saved again by an editor with CR LF: still the same record.
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    InstallRecord again;
    ASSERT_TRUE(ParseRecord(crlf, kGbk, &again, &error)) << error;
    ExpectSame(original, again);
}

TEST(InstallRecordFormat, DamagedRecordsAreRefused) {
    const std::string good = FormatRecord(Sample());
    const std::string header = RecordHeader(kFolder);
    struct Case {
        const char* what;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"empty", ""},
        {"last line cut", good.substr(0, good.size() - 1)},
        {"cut inside a line", good.substr(0, good.size() / 2)},
        {"other header", "TARNIX-INSTALL-RECORDS\t1\n" + header.substr(header.find('\n') + 1)},
        {"other version", "TARNIX-INSTALL-RECORD\t2\n" + header.substr(header.find('\n') + 1)},
        {"header only", "TARNIX-INSTALL-RECORD\t1\n"},
        {"no installation line", "TARNIX-INSTALL-RECORD\t1\nfolder\tC:\\x\n"},
        {"unknown action", header + "registry\tC:\\x\n"},
        {"missing field", header + "file-replaced\tC:\\x\n"},
        {"extra field", header + "folder\tC:\\x\tC:\\y\n"},
        {"empty field", header + "file-new\t\n"},
        {"empty line", header + "\n" + "folder\tC:\\x\n"},
        {"bad escape", header + "folder\tC:\\%G1\n"},
        {"escape cut", header + "folder\tC:\\%4\n"},
        {"odd hex", header + "trusted-paths\tk\tnone\t1:414\n"},
        {"bad hex", header + "trusted-paths\tk\tnone\t1:41ZZ\n"},
        {"no type", header + "trusted-paths\tk\tnone\t:4100\n"},
        {"written absent", header + "trusted-paths\tk\tnone\tnone\n"},
        {"second installation line", header + "installation\tC:\\y\n"},
    };
    for (const Case& c : cases) {
        InstallRecord parsed;
        parsed.installFolder = "untouched";
        std::string error;
        EXPECT_FALSE(ParseRecord(c.text, kGbk, &parsed, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ("untouched", parsed.installFolder) << c.what;
    }
}

TEST(InstallRecordFormat, LaterLinesMergeKeepingFirstBackupAndFirstBefore) {
    const std::string text = RecordHeader(kFolder) +
                             FileLine({"C:\\A\\f.shx", "C:\\B\\1-f.shx"}) +
                             FileLine({"c:\\a\\F.SHX", "C:\\B\\2-f.shx"}) +
                             FileLine({"C:\\A\\g.shx", ""}) +
                             FileLine({"C:\\A\\g.shx", "C:\\B\\1-g.shx"}) +
                             TrustedPathsLine({"k", RegValueState{true, false, 0, {}}, Value(1, {1, 0})}) +
                             TrustedPathsLine({"K", Value(1, {1, 0}), Value(1, {2, 0})}) +
                             DemandLoadLine({"d", "C:\\old\\x.arx"}) +
                             DemandLoadLine({"D", "C:\\new\\x.arx"}) + FolderLine("C:\\A") +
                             FolderLine("c:\\a");
    InstallRecord r;
    ASSERT_TRUE(ParseRecord(text, kGbk, &r));
    ASSERT_EQ(2u, r.files.size());
    EXPECT_EQ("C:\\B\\1-f.shx", r.files[0].backup);
    EXPECT_EQ("", r.files[1].backup) << "new the first time, so new for good";
    ASSERT_EQ(1u, r.trustedPaths.size());
    EXPECT_FALSE(r.trustedPaths[0].before.valueExists) << "the first before stays";
    EXPECT_EQ((std::vector<unsigned char>{2, 0}), r.trustedPaths[0].written.data);
    ASSERT_EQ(1u, r.demandLoads.size());
    EXPECT_EQ("C:\\new\\x.arx", r.demandLoads[0].loader);
    EXPECT_EQ(1u, r.folders.size());
}

class InstallRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs_.AddFolder(kFolder);
        fs_.AddFile(kFont, "their font", kAttrReadOnly);
    }
    InstallRecord Read() {
        InstallRecord r;
        std::string error;
        EXPECT_TRUE(ParseRecord(fs_.Content(kRecord), kGbk, &r, &error)) << error;
        return r;
    }
    const std::string kRecord = kFolder + "\\InstallRecord.txt";
    const std::string kFont = "C:\\Acad\\Fonts\\Tarnix_EN.shx";
    FakeFileSystem fs_;
};

TEST_F(InstallRecorderTest, ActionsReachTheFileAsTheyHappen) {
    InstallRecorder rec(fs_, kGbk);
    rec.FolderCreated("C:\\Tarnix");  // before the folder for the record exists
    EXPECT_FALSE(fs_.Exists(kRecord));
    rec.Open(kFolder);
    EXPECT_FALSE(fs_.Exists(kRecord)) << "folders alone leave no record";

    ASSERT_TRUE(rec.BeforeFileWrite(kFolder + "\\a.dll"));
    EXPECT_EQ(RecordHeader(kFolder) + FolderLine("C:\\Tarnix") + FileLine({kFolder + "\\a.dll", ""}),
              fs_.Content(kRecord));
    ASSERT_TRUE(rec.BeforeFileWrite(kFont));
    const std::string backup = kFolder + "\\Backup\\1-Tarnix_EN.shx";
    EXPECT_EQ("their font", fs_.Content(backup));
    EXPECT_TRUE(fs_.Attributes(backup) & kAttrReadOnly) << "the backup keeps the attributes";
    rec.DemandLoadWritten("P\\Applications\\TX_BatchPlot2008", kFolder + "\\TX_BatchPlot2008.ARX");

    // What is on disk now is a whole record, with every action so far.
    const InstallRecord r = Read();
    EXPECT_EQ((std::vector<std::string>{"C:\\Tarnix", kFolder + "\\Backup"}), r.folders);
    ASSERT_EQ(2u, r.files.size());
    EXPECT_EQ(backup, r.files[1].backup);
    ASSERT_EQ(1u, r.demandLoads.size());
    EXPECT_TRUE(rec.Intact());
    // The record itself is never a target.
    EXPECT_FALSE(rec.BeforeFileWrite(kRecord));
}

TEST_F(InstallRecorderTest, SecondInstallationKeepsTheFirstBackup) {
    {
        InstallRecorder first(fs_, kGbk);
        first.Open(kFolder);
        ASSERT_TRUE(first.BeforeFileWrite(kFont));
        fs_.SetAttributes(kFont, kAttrArchive);
        fs_.AddFile(kFont, "our font");
        first.TrustedPathsWritten("k", RegValueState{true, false, 0, {}}, Value(1, {'A', 0, 0, 0}));
    }
    InstallRecorder second(fs_, kGbk);
    second.Open(kFolder);
    ASSERT_TRUE(second.BeforeFileWrite(kFont));
    ASSERT_TRUE(second.BeforeFileWrite(kFolder + "\\new.dll"));
    second.TrustedPathsWritten("k", Value(1, {'A', 0, 0, 0}), Value(1, {'B', 0, 0, 0}));
    EXPECT_FALSE(fs_.Exists(kFolder + "\\Backup\\2-Tarnix_EN.shx")) << "no backup of our own file";

    const InstallRecord r = Read();
    ASSERT_EQ(2u, r.files.size());
    EXPECT_EQ("their font", fs_.Content(r.files[0].backup));
    ASSERT_EQ(1u, r.trustedPaths.size());
    EXPECT_FALSE(r.trustedPaths[0].before.valueExists);
    EXPECT_EQ('B', r.trustedPaths[0].written.data[0]);
}

TEST_F(InstallRecorderTest, FailuresAreReported) {
    fs_.FailCopyTo(kFolder + "\\Backup\\1-Tarnix_EN.shx");
    fs_.FailAppendsAfter(kRecord, 0);
    InstallRecorder rec(fs_, kGbk);
    rec.Open(kFolder);
    EXPECT_TRUE(rec.Intact());
    EXPECT_FALSE(rec.BeforeFileWrite(kFont)) << "no backup, so no overwriting";
    EXPECT_TRUE(rec.Intact()) << "nothing to write yet";
    EXPECT_TRUE(rec.BeforeFileWrite(kFolder + "\\a.dll"));
    EXPECT_FALSE(rec.Intact()) << "the record could not be written";
    // A damaged record found at the start is reported too.
    fs_.AddFile(kFolder + "\\x\\InstallRecord.txt", "TARNIX-INSTALL-RECORD\t1\ninstallation\tC:");
    InstallRecorder other(fs_, kGbk);
    other.Open(kFolder + "\\x");
    EXPECT_FALSE(other.Intact());
}

// A payload target held open by another program: its backup cannot be made
// while it is held, so the copy fails and is put to the user; on Retry,
// once it is free, the backup is made and the copy goes through.
TEST_F(InstallRecorderTest, PayloadRetryMakesTheBackupOnceTheFileIsFree) {
    const std::string held = kFolder + "\\itextsharp.dll";
    fs_.AddFile("C:\\Pkg\\Data\\Tarnix.prt7", "library");
    fs_.AddFile(held, "someone's");
    fs_.SetInUse(held);
    class ReleasingBox : public FakeMessageBox {
    public:
        ReleasingBox(FakeFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
        int Show(const std::string& t, const std::string& c, unsigned s) override {
            fs_.SetInUse(path_, false);
            return FakeMessageBox::Show(t, c, s);
        }
        FakeFileSystem& fs_;
        std::string path_;
    } box(fs_, held);
    box.Script({kIdRetry});
    FakeProcessList procs;
    InstallRecorder rec(fs_, kGbk);
    rec.Open(kFolder);
    Deployer deployer(fs_, procs, box, kGbk, &rec);
    FakeProgress bar;
    ASSERT_TRUE(deployer.DeployPayload(PayloadTarget(kFolder, bar, kGbk)));
    EXPECT_EQ(1u, box.Calls().size());
    EXPECT_EQ("library", fs_.Content(held));
    const InstallRecord r = Read();
    ASSERT_EQ(1u, r.files.size());
    EXPECT_EQ("someone's", fs_.Content(r.files[0].backup));
}

}  // namespace
}  // namespace tx
