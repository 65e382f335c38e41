// Readying the installation folder's two levels over the in-memory file
// system and folder security: what is made, reused, held or refused.
// Literals are code page 936 bytes, like the program's.
#include "ui/InstallFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"

namespace tx {
namespace {

const std::string kChosen = "C:\\Tarnix";
const std::string kFolder = "C:\\Tarnix\\Tarnix批打印软件";
const std::string kOtherUser = "S-1-5-21-1004336348-1177238915-682003330-1002";

class InstallFolderTest : public ::testing::Test {
protected:
    InstallFolderTest() { fs.AddFolder("C:\\"); }

    PreparedFolder Prepare(const std::string& chosen = kChosen,
                           const std::string& folder = kFolder) {
        return PrepareInstallFolder(security, chosen, folder);
    }

    FakeFileSystem fs{936};
    FakeFolderSecurity security{fs};
};

TEST_F(InstallFolderTest, MissingLevelsAreMadeProtectedAndHeldUntilReleased) {
    PreparedFolder prepared = Prepare();
    EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
    EXPECT_EQ((std::vector<std::string>{kChosen, kFolder}), security.Made());
    EXPECT_TRUE(fs.IsFolder(kFolder));
    EXPECT_EQ(2u, prepared.hold.Levels());
    EXPECT_EQ(2, security.HeldNow());
    ASSERT_EQ(2u, security.Holds().size());
    EXPECT_EQ(kChosen, security.Holds()[0].path) << "outermost first";
    EXPECT_EQ(kFolder, security.Holds()[1].path);

    // Moving the hold keeps the levels open; destroying it lets them go.
    {
        InstallFolderHold moved = std::move(prepared.hold);
        EXPECT_EQ(2, security.HeldNow());
    }
    EXPECT_EQ(0, security.HeldNow());
}

TEST_F(InstallFolderTest, ExistingLevelsOfATrustedOwnerAreReusedAsTheyAre) {
    const std::string userSid = security.CurrentUserSid();
    for (const std::string& owner :
         {std::string(kSidAdministrators), std::string(kSidLocalSystem),
          std::string(kSidTrustedInstaller), userSid}) {
        SCOPED_TRACE(owner);
        fs.AddFolder(kFolder);
        security.SetOwner(kChosen, owner);
        security.SetOwner(kFolder, owner);
        const PreparedFolder prepared = Prepare();
        EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
        EXPECT_EQ(2u, prepared.hold.Levels());
        EXPECT_TRUE(security.Made().empty()) << "nothing made over what is there";
    }
}

TEST_F(InstallFolderTest, ExistingLevelOfAnotherUserIsRefusedAndNothingIsMade) {
    // The installation folder made first by another user.
    fs.AddFolder(kFolder);
    security.SetOwner(kFolder, kOtherUser);
    PreparedFolder prepared = Prepare();
    EXPECT_EQ(FolderReadiness::UnsafeExisting, prepared.readiness);
    EXPECT_EQ(0u, prepared.hold.Levels());
    EXPECT_EQ(0, security.HeldNow()) << "the chosen folder is let go as well";
    EXPECT_TRUE(security.Made().empty());

    // The chosen folder made first by another user: its owner could swap
    // the product's folder later, so it is not even made.
    FakeFileSystem fs2{936};
    fs2.AddFolder(kChosen);
    FakeFolderSecurity security2{fs2};
    security2.SetOwner(kChosen, kOtherUser);
    EXPECT_EQ(FolderReadiness::UnsafeExisting,
              PrepareInstallFolder(security2, kChosen, kFolder).readiness);
    EXPECT_TRUE(security2.Made().empty());
    EXPECT_FALSE(fs2.Exists(kFolder));
    EXPECT_EQ(0, security2.HeldNow());
}

TEST_F(InstallFolderTest, OwnerThatCannotBeReadOrUserThatIsUnknownIsNotTrusted) {
    fs.AddFolder(kFolder);
    security.SetOwner(kFolder, "");
    EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare().readiness);

    // With no user known, a folder owned by nobody known is not taken for the user's.
    security.SetCurrentUser("");
    security.SetOwner(kFolder, kOtherUser);
    EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare().readiness);
    EXPECT_FALSE(IsTrustedOwner("", ""));
    EXPECT_FALSE(IsTrustedOwner("S-1-5-32-5440", "S-1-5-21-1"));
    EXPECT_FALSE(IsTrustedOwner("S-1-5-32-545", "S-1-5-21-1")) << "Users";
    EXPECT_TRUE(IsTrustedOwner("S-1-5-21-1", "S-1-5-21-1"));
}

TEST_F(InstallFolderTest, LinkAtEitherLevelIsRefusedAndItsTargetLeftAlone) {
    // A junction where the product's folder goes, pointing anywhere.
    fs.AddFolder(kFolder, kAttrDirectory | kAttrReparsePoint);
    EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare().readiness);
    EXPECT_EQ(0, security.HeldNow());
    EXPECT_TRUE(security.Made().empty());

    // A link that names a file is refused the same way.
    FakeFileSystem fs2{936};
    fs2.AddFile(kChosen, "", kAttrArchive | kAttrReparsePoint);
    FakeFolderSecurity security2{fs2};
    EXPECT_EQ(FolderReadiness::UnsafeExisting,
              PrepareInstallFolder(security2, kChosen, kFolder).readiness);

    // A junction as the chosen folder, owned by an administrator all the same.
    FakeFileSystem fs3{936};
    fs3.AddFolder(kChosen, kAttrDirectory | kAttrReparsePoint);
    FakeFolderSecurity security3{fs3};
    EXPECT_EQ(FolderReadiness::UnsafeExisting,
              PrepareInstallFolder(security3, kChosen, kFolder).readiness);
    EXPECT_FALSE(fs3.Exists(kFolder)) << "nothing made inside it";
}

TEST_F(InstallFolderTest, LevelThatCannotBeMadeOrIsNoFolderFails) {
    // No parent: the typed folder's own parent is missing.
    EXPECT_EQ(FolderReadiness::Failed, Prepare("D:\\Missing\\Tarnix", "D:\\Missing\\Tarnix" +
                                                   std::string("\\Tarnix批打印软件"))
                                           .readiness);
    EXPECT_TRUE(security.Made().empty());

    // The chosen folder made, the product's not: the first is let go again.
    fs.FailCreateDirectory(kFolder);
    EXPECT_EQ(FolderReadiness::Failed, Prepare().readiness);
    EXPECT_EQ(std::vector<std::string>{kChosen}, security.Made());
    EXPECT_EQ(0, security.HeldNow());

    // A file where the product's folder goes.
    FakeFileSystem fs2{936};
    fs2.AddFile(kFolder, "not a folder");
    FakeFolderSecurity security2{fs2};
    EXPECT_EQ(FolderReadiness::Failed, PrepareInstallFolder(security2, kChosen, kFolder).readiness);
}

TEST_F(InstallFolderTest, LevelThatCannotBeOpenedIsUnsafeWhenFoundAndFailedWhenMade) {
    // Found, but its access list keeps administrators out: it cannot be checked.
    fs.AddFolder(kFolder);
    security.DenyOpen(kFolder);
    EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare().readiness);
    EXPECT_EQ(0, security.HeldNow());

    // Made now, then not openable.
    FakeFileSystem fs2{936};
    fs2.AddFolder("C:\\");
    FakeFolderSecurity security2{fs2};
    security2.DenyOpen(kFolder);
    EXPECT_EQ(FolderReadiness::Failed, PrepareInstallFolder(security2, kChosen, kFolder).readiness);
    EXPECT_EQ(0, security2.HeldNow());
}

// Between making a level and opening it, someone swaps in a folder of their own.
class SwappingSecurity : public IFolderSecurity {
public:
    SwappingSecurity(FakeFolderSecurity& inner, std::string swapped)
        : inner_(inner), swapped_(std::move(swapped)) {}
    MakeFolderResult MakeProtectedFolder(const std::string& path) override {
        const MakeFolderResult made = inner_.MakeProtectedFolder(path);
        if (path == swapped_) inner_.SetOwner(path, kOtherUser);
        return made;
    }
    std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path, FolderFacts* facts) override {
        return inner_.HoldFolder(path, facts);
    }
    std::string CurrentUserSid() override { return inner_.CurrentUserSid(); }

private:
    FakeFolderSecurity& inner_;
    std::string swapped_;
};

TEST_F(InstallFolderTest, LevelSwappedRightAfterItWasMadeIsRefused) {
    SwappingSecurity swapping(security, kFolder);
    const PreparedFolder prepared = PrepareInstallFolder(swapping, kChosen, kFolder);
    EXPECT_EQ(FolderReadiness::UnsafeExisting, prepared.readiness);
    EXPECT_EQ(0, security.HeldNow());
}

TEST_F(InstallFolderTest, VolumeWithoutAccessListsDoesNotBlockTheInstallation) {
    fs.AddFolder("E:\\");
    fs.AddFolder("E:\\Tools");  // on FAT no one owns it
    security.WithoutAccessLists("E:");
    security.SetOwner("E:\\Tools", kOtherUser);  // not kept on FAT
    const PreparedFolder prepared =
        PrepareInstallFolder(security, "E:\\Tools", "E:\\Tools\\Tarnix批打印软件");
    EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
    EXPECT_EQ(std::vector<std::string>{"E:\\Tools\\Tarnix批打印软件"}, security.Made());
    EXPECT_EQ(2, security.HeldNow());

    // A link is refused there as anywhere.
    fs.AddFolder("E:\\Linked", kAttrDirectory | kAttrReparsePoint);
    EXPECT_EQ(FolderReadiness::UnsafeExisting,
              PrepareInstallFolder(security, "E:\\Linked", "E:\\Linked\\Tarnix批打印软件").readiness);
}

TEST_F(InstallFolderTest, DriveRootIsOpenedAsTheRootNotTheDrivesCurrentFolder) {
    fs.AddFolder("E:\\");
    security.SetOwner("E:\\", kSidLocalSystem);
    const PreparedFolder prepared = PrepareInstallFolder(security, "E:", "E:\\Tarnix批打印软件");
    EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
    ASSERT_EQ(2u, security.Holds().size());
    EXPECT_EQ("E:\\", security.Holds()[0].path);
    EXPECT_EQ(std::vector<std::string>{"E:\\Tarnix批打印软件"}, security.Made());
}

}  // namespace
}  // namespace tx
