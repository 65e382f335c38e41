// The literals below are compiled to code page 936 bytes.
#include "engine/CommandLine.h"

#include <gtest/gtest.h>

namespace tx {
namespace {

CommandLine ForSetup(const std::string& args) { return ParseCommandLine(args, ProgramRole::Installer); }
CommandLine ForUninstall(const std::string& args) {
    return ParseCommandLine(args, ProgramRole::Uninstaller);
}

TEST(CommandLineArguments, ProgramNameIsSkippedQuotedOrNot) {
    EXPECT_EQ(ArgumentsOf("\"C:\\Users\\a b\\SetUp.exe\" /S /D=C:\\x"), "/S /D=C:\\x");
    EXPECT_EQ(ArgumentsOf("SetUp.exe   /S"), "/S");
    EXPECT_EQ(ArgumentsOf("  SetUp.exe"), "");
    EXPECT_EQ(ArgumentsOf("\"C:\\pkg\\SetUp.exe\""), "");
    // A name whose closing quote is missing takes the whole line.
    EXPECT_EQ(ArgumentsOf("\"C:\\pkg\\SetUp.exe /S"), "");
}

TEST(CommandLineParse, EmptyLineIsTheInteractiveDefault) {
    const CommandLine line = ForSetup("");
    ASSERT_TRUE(line.ok);
    EXPECT_FALSE(line.silent || line.help || line.perUser || line.hasFolder || line.hasReleases ||
                 line.hasLog);
}

TEST(CommandLineParse, SwitchesAreCaseInsensitiveWithSlashOrDash) {
    for (const char* s : {"/S", "/s", "-S", "-s"}) {
        const CommandLine line = ForSetup(s);
        ASSERT_TRUE(line.ok) << s;
        EXPECT_TRUE(line.silent) << s;
    }
    const CommandLine line = ForSetup("-releases=ALL /log=C:\\t.log");
    ASSERT_TRUE(line.ok);
    EXPECT_TRUE(line.allReleases);
    EXPECT_FALSE(ForSetup("/USER").ok) << "only the installed copy runs the per-user step";
    const CommandLine user = ForUninstall("-User /Log=C:\\t.log");
    ASSERT_TRUE(user.ok) << user.error;
    EXPECT_TRUE(user.perUser);
    EXPECT_EQ(user.logFile, "C:\\t.log");
}

TEST(CommandLineParse, FolderRunsToTheEndWithSpacesAndOptionalQuotes) {
    CommandLine line = ForSetup("/S /D=C:\\Program Files\\CAD Tools");
    ASSERT_TRUE(line.ok) << line.error;
    EXPECT_TRUE(line.silent);
    EXPECT_EQ(line.folder, "C:\\Program Files\\CAD Tools");

    line = ForSetup("/D=\"D:\\My Plug-ins\\\"  ");
    ASSERT_TRUE(line.ok);
    EXPECT_EQ(line.folder, "D:\\My Plug-ins\\");

    // Whatever follows /D= belongs to the folder, switches included.
    line = ForSetup("/d=E:\\a /S");
    ASSERT_TRUE(line.ok);
    EXPECT_FALSE(line.silent);
    EXPECT_EQ(line.folder, "E:\\a /S");

    // A double-byte folder name whose trail bytes are '\' and '|'.
    line = ForSetup("/D=C:\\\x95\x5C\x81\x7C");
    ASSERT_TRUE(line.ok);
    EXPECT_EQ(line.folder, "C:\\\x95\x5C\x81\x7C");

    EXPECT_FALSE(ForSetup("/S /D=").ok);
    EXPECT_FALSE(ForSetup("/S /D=   ").ok);
    EXPECT_FALSE(ForUninstall("/D=C:\\x").ok);
}

TEST(CommandLineParse, ReleaseListsAndTheirErrors) {
    CommandLine line = ForSetup("/RELEASES=2016,2019,2016");
    ASSERT_TRUE(line.ok) << line.error;
    EXPECT_TRUE(line.hasReleases);
    EXPECT_FALSE(line.allReleases);
    EXPECT_EQ(line.releaseYears, (std::vector<int>{2016, 2019}));

    line = ForSetup("/RELEASES=all");
    ASSERT_TRUE(line.ok);
    EXPECT_TRUE(line.allReleases);

    for (const char* bad : {"/RELEASES=", "/RELEASES=2006", "/RELEASES=2025", "/RELEASES=2016,",
                            "/RELEASES=,2016", "/RELEASES=2016;2019", "/RELEASES=16",
                            "/RELEASES=2016,20x9", "/RELEASES=02016", "/RELEASES=2016 2019"}) {
        const CommandLine failed = ForSetup(bad);
        EXPECT_FALSE(failed.ok) << bad;
        EXPECT_FALSE(failed.error.empty()) << bad;
    }
    EXPECT_FALSE(ForUninstall("/RELEASES=2016").ok);
}

TEST(CommandLineParse, LogNamesAFileQuotedOrNot) {
    CommandLine line = ForSetup("/LOG=\"C:\\My Logs\\setup.log\" /S");
    ASSERT_TRUE(line.ok) << line.error;
    EXPECT_TRUE(line.hasLog);
    EXPECT_TRUE(line.silent);
    EXPECT_EQ(line.logFile, "C:\\My Logs\\setup.log");

    // Deployment tools may quote a whole switch.
    line = ForSetup("\"/LOG=C:\\a b.log\" \"/D=C:\\x y\"");
    ASSERT_TRUE(line.ok) << line.error;
    EXPECT_EQ(line.logFile, "C:\\a b.log");
    EXPECT_EQ(line.folder, "C:\\x y");
    EXPECT_FALSE(ForSetup("/LOG=").ok);
}

TEST(CommandLineParse, AnythingElseIsAnErrorNamingIt) {
    for (const char* bad : {"S", "/", "/X", "/SILENT", "/S/D=C:\\x", "C:\\Tarnix", "/LOGX=a",
                            "/D", "--S"}) {
        const CommandLine line = ForSetup(bad);
        EXPECT_FALSE(line.ok) << bad;
    }
    const CommandLine line = ForSetup("/S /QN");
    ASSERT_FALSE(line.ok);
    EXPECT_NE(line.error.find("/QN"), std::string::npos);
    EXPECT_TRUE(ForSetup("/?").help);
    // An error is still silent when /S was asked for, wherever it stands.
    EXPECT_TRUE(ForSetup("/QN /s").silent);
    EXPECT_TRUE(ForSetup("-S /RELEASES=1999").silent);
    EXPECT_FALSE(ForSetup("/QN").silent);
    EXPECT_FALSE(ForSetup("/QN /D=C:\\x /S").silent) << "after /D= it is the folder";
    EXPECT_TRUE(ForUninstall("/S /D=C:\\x").silent);
    EXPECT_TRUE(ForUninstall("-?").help);
}

TEST(CommandLineTicks, RequestedAmongTheDetected) {
    TickFlags detected{};
    detected[ReleaseIndexOfYear(2008)] = 1;
    detected[ReleaseIndexOfYear(2016)] = 1;
    detected[ReleaseIndexOfYear(2019)] = 1;

    std::vector<int> skipped;
    const TickFlags all = RequestedTicks(ForSetup("/S"), detected, &skipped);
    EXPECT_EQ(all, detected);
    EXPECT_EQ(RequestedTicks(ForSetup("/RELEASES=all"), detected, &skipped), detected);
    EXPECT_TRUE(skipped.empty());

    const TickFlags some = RequestedTicks(ForSetup("/RELEASES=2019,2024,2007"), detected, &skipped);
    TickFlags only2019{};
    only2019[ReleaseIndexOfYear(2019)] = 1;
    EXPECT_EQ(some, only2019);
    EXPECT_EQ(skipped, (std::vector<int>{2024, 2007}));
}

}  // namespace
}  // namespace tx
