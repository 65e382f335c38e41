// Readying the installation folder's two levels over the in-memory file
// system and folder security: what is made, reused, held or refused.
// Literals are code page 936 bytes, like the program's.
#include "engine/InstallFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"

namespace tx {
namespace {

const CodePage kCp{936};
const std::string kChosen = "C:\\Tarnix";
const std::string kFolder = "C:\\Tarnix\\Tarnix批打印软件";
const std::string kOtherUser = "S-1-5-21-1004336348-1177238915-682003330-1002";

class InstallFolderTest : public ::testing::Test {
protected:
    InstallFolderTest() { fs.AddFolder("C:\\"); }

    PreparedFolder Prepare(const std::string& chosen = kChosen,
                           const std::string& folder = kFolder) {
        return PrepareInstallFolder(security, kCp, chosen, folder);
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
    for (const std::string& owner : {std::string(kSidAdministrators), std::string(kSidLocalSystem),
                                     std::string(kSidTrustedInstaller)}) {
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
              PrepareInstallFolder(security2, kCp, kChosen, kFolder).readiness);
    EXPECT_TRUE(security2.Made().empty());
    EXPECT_FALSE(fs2.Exists(kFolder));
    EXPECT_EQ(0, security2.HeldNow());
}

// Under UAC the installing user's unelevated programs own what they make
// under the same SID: they could have made either level first, with an
// access list of their own, and put files beside the modules.
TEST_F(InstallFolderTest, ExistingLevelOfTheInstallingUserIsRefused) {
    const std::string user = security.CurrentUserSid();
    fs.AddFolder(kFolder);
    security.SetOwner(kFolder, user);
    security.SetAccessList(kFolder, {{user, kRightsAll, 0}}, true);
    EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare().readiness);
    EXPECT_EQ(0, security.HeldNow());
    EXPECT_TRUE(security.Made().empty());

    // The chosen folder alone: the product's is not even made in it.
    FakeFileSystem fs2{936};
    fs2.AddFolder(kChosen);
    FakeFolderSecurity security2{fs2};
    security2.SetOwner(kChosen, security2.CurrentUserSid());
    EXPECT_EQ(FolderReadiness::UnsafeExisting,
              PrepareInstallFolder(security2, kCp, kChosen, kFolder).readiness);
    EXPECT_FALSE(fs2.Exists(kFolder));
    EXPECT_EQ(0, security2.HeldNow());
}

// Wine reports the running user as the owner of every file and runs every
// program as that one user: the owner tells nothing there, and the
// end-to-end runs must still find the levels they made.
TEST_F(InstallFolderTest, OwnerMadeUpBySystemIsNotJudged) {
    security.MakeOwnersUp();
    security.SetDefaultOwner(security.CurrentUserSid());
    fs.AddFolder(kFolder);
    EXPECT_EQ(FolderReadiness::Ready, Prepare().readiness);
    // What an access list lets others do still counts.
    security.SetAccessList(kFolder, {{kSidUsers, kRightAddFile, 0}});
    EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare().readiness);
}

TEST_F(InstallFolderTest, OwnerThatCannotBeReadIsNotTrusted) {
    fs.AddFolder(kFolder);
    security.SetOwner(kFolder, "");
    EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare().readiness);
    EXPECT_FALSE(IsTrustedOwner(""));
    EXPECT_FALSE(IsTrustedOwner("S-1-5-32-5440"));
    EXPECT_FALSE(IsTrustedOwner("S-1-5-32-545")) << "Users";
    EXPECT_FALSE(IsTrustedOwner("S-1-5-21-1004336348-1177238915-682003330-1001"));
    EXPECT_TRUE(IsTrustedOwner("S-1-5-32-544"));
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
              PrepareInstallFolder(security2, kCp, kChosen, kFolder).readiness);

    // A junction as the chosen folder, owned by an administrator all the same.
    FakeFileSystem fs3{936};
    fs3.AddFolder(kChosen, kAttrDirectory | kAttrReparsePoint);
    FakeFolderSecurity security3{fs3};
    EXPECT_EQ(FolderReadiness::UnsafeExisting,
              PrepareInstallFolder(security3, kCp, kChosen, kFolder).readiness);
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
    EXPECT_EQ(FolderReadiness::Failed, PrepareInstallFolder(security2, kCp, kChosen, kFolder).readiness);
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
    EXPECT_EQ(FolderReadiness::Failed, PrepareInstallFolder(security2, kCp, kChosen, kFolder).readiness);
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
    std::unique_ptr<IHeldFolder> HoldUserFolder(const std::string& path,
                                                FolderFacts* facts) override {
        return inner_.HoldUserFolder(path, facts);
    }
    bool InspectFolder(const std::string& path, FolderFacts* facts) override {
        return inner_.InspectFolder(path, facts);
    }
    std::string CurrentUserSid() override { return inner_.CurrentUserSid(); }

private:
    FakeFolderSecurity& inner_;
    std::string swapped_;
};

TEST_F(InstallFolderTest, LevelSwappedRightAfterItWasMadeIsRefused) {
    SwappingSecurity swapping(security, kFolder);
    const PreparedFolder prepared = PrepareInstallFolder(swapping, kCp, kChosen, kFolder);
    EXPECT_EQ(FolderReadiness::UnsafeExisting, prepared.readiness);
    EXPECT_EQ(0, security.HeldNow());
}

// FAT and exFAT keep no access lists (GetVolumeInformation without
// FILE_PERSISTENT_ACLS): every user may change anything there, whoever
// made it, so nothing is made or reused on such a volume.
TEST_F(InstallFolderTest, VolumeWithoutAccessListsIsRefused) {
    fs.AddFolder("E:\\");
    fs.AddFolder("E:\\Tools");
    security.WithoutAccessLists("E:");
    for (const std::string& chosen : {std::string("E:\\Tools"), std::string("E:\\New"),
                                      std::string("E:")}) {
        SCOPED_TRACE(chosen);
        const PreparedFolder prepared =
            PrepareInstallFolder(security, kCp, chosen, chosen + "\\Tarnix批打印软件");
        EXPECT_EQ(FolderReadiness::UnsafeExisting, prepared.readiness);
        EXPECT_EQ(0u, prepared.hold.Levels());
        EXPECT_TRUE(prepared.created.empty());
        EXPECT_EQ(0, security.HeldNow());
    }
    EXPECT_TRUE(security.Made().empty());
    EXPECT_FALSE(fs.Exists("E:\\New"));
}

TEST_F(InstallFolderTest, DriveRootIsOpenedAsTheRootNotTheDrivesCurrentFolder) {
    fs.AddFolder("E:\\");
    security.SetOwner("E:\\", kSidLocalSystem);
    const PreparedFolder prepared = PrepareInstallFolder(security, kCp, "E:", "E:\\Tarnix批打印软件");
    EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
    ASSERT_EQ(2u, security.Holds().size());
    EXPECT_EQ("E:\\", security.Holds()[0].path);
    EXPECT_EQ(std::vector<std::string>{"E:\\Tarnix批打印软件"}, security.Made());
}

// --- What access lists let others do ---------------------------------------

// Drives set up as Windows leaves them: a root with its default list, and
// folders made there by someone else (Explorer, an earlier tool) inheriting it.
class FolderAccessTest : public ::testing::Test {
protected:
    FolderAccessTest() {
        for (const char* root : {"C:\\", "D:\\"}) {
            fs.AddFolder(root);
            security.SetAccessList(root, WindowsDriveRootList());
        }
    }

    PreparedFolder Prepare(const std::string& chosen) {
        return PrepareInstallFolder(security, kCp, chosen, chosen + "\\Tarnix批打印软件");
    }

    // Refused with nothing made, held or left held.
    void ExpectRefusedUntouched(const std::string& chosen) {
        const PreparedFolder prepared = Prepare(chosen);
        EXPECT_EQ(FolderReadiness::UnsafeExisting, prepared.readiness);
        EXPECT_EQ(0u, prepared.hold.Levels());
        EXPECT_TRUE(prepared.created.empty());
        EXPECT_TRUE(security.Made().empty());
        EXPECT_FALSE(fs.Exists(chosen + "\\Tarnix批打印软件"));
        EXPECT_EQ(0, security.HeldNow());
    }

    FakeFileSystem fs{936};
    FakeFolderSecurity security{fs};
};

TEST_F(FolderAccessTest, InheritedListsFoldAsWindowsFoldsThem) {
    // The root itself: Users read, Authenticated Users "create folders" only.
    EXPECT_EQ(kFileGenericRead | kFileGenericExecute | kRightAddSubdirectory,
              security.OthersRights("C:\\"));
    // Below it, Authenticated Users' inherit-only Modify applies; the
    // root-only entry does not; CREATOR OWNER becomes the owner's own.
    fs.AddFolder("C:\\Tools");
    EXPECT_EQ(kModify | kFileGenericRead | kFileGenericExecute, security.OthersRights("C:\\Tools"));
    security.SetOwner("C:\\Tools", kOtherUser);
    EXPECT_EQ(kRightsAll, security.OthersRights("C:\\Tools")) << "the other user's full control";
    // Made with the protected list: only Users' read and execute.
    ASSERT_EQ(MakeFolderResult::Created, security.MakeProtectedFolder("C:\\Tarnix"));
    EXPECT_EQ(kFileGenericRead | kFileGenericExecute, security.OthersRights("C:\\Tarnix"));
    // A list passed on once (no-propagate) reaches one level only.
    fs.AddFolder("C:\\One");
    fs.AddFolder("C:\\One\\Two");
    fs.AddFolder("C:\\One\\Two\\Three");
    security.SetAccessList("C:\\One", {{kSidAdministrators, kRightsAll, 0}}, true);
    security.SetAccessList("C:\\One\\Two", {{kSidEveryone, kGenericWrite,
                                             kAceContainerInherit | kAceNoPropagate |
                                                 kAceInheritOnly}});
    EXPECT_EQ(0u, security.OthersRights("C:\\One\\Two")) << "inherit-only there";
    EXPECT_EQ(kFileGenericWrite, security.OthersRights("C:\\One\\Two\\Three"));
    // An entry of the running user is not counted among what others may do.
    security.SetAccessList("C:\\One", {{security.CurrentUserSid(), kRightsAll, 0}}, true);
    EXPECT_EQ(0u, security.OthersRights("C:\\One"));
    security.SetNullAccessList("C:\\One");
    EXPECT_EQ(kRightsAll, security.OthersRights("C:\\One"));
}

TEST_F(FolderAccessTest, DefaultFolderUnderTheRootAndAReinstallPass) {
    {
        const PreparedFolder first = Prepare("C:\\Tarnix");
        EXPECT_EQ(FolderReadiness::Ready, first.readiness);
        EXPECT_EQ(2u, first.hold.Levels());
        EXPECT_EQ(std::vector<std::string>{"C:\\"}, security.Inspected())
            << "only the root is above; looked at, not held";
    }
    // Again: both levels were made by the first run and are found in place.
    const PreparedFolder again = Prepare("C:\\Tarnix");
    EXPECT_EQ(FolderReadiness::Ready, again.readiness);
    EXPECT_EQ(2u, again.hold.Levels());
    EXPECT_EQ(2u, security.Made().size()) << "nothing made the second time";
}

TEST_F(FolderAccessTest, ProgramFilesStyleFoldersPass) {
    // TrustedInstaller, SYSTEM and Administrators full, Users read; what an
    // earlier elevated tool made there under an Administrators-owned folder.
    const std::uint8_t both = kAceObjectInherit | kAceContainerInherit;
    fs.AddFolder("C:\\Program Files");
    security.SetOwner("C:\\Program Files", kSidTrustedInstaller);
    security.SetAccessList("C:\\Program Files",
                           {{kSidTrustedInstaller, kRightsAll, both},
                            {kSidLocalSystem, kModify, both},
                            {kSidAdministrators, kModify, both},
                            {kSidUsers, kFileGenericRead | kFileGenericExecute, both},
                            {kSidCreatorOwner, kGenericAll,
                             static_cast<std::uint8_t>(both | kAceInheritOnly)}},
                           true);
    fs.AddFolder("C:\\Program Files\\Vendor");
    const PreparedFolder prepared = Prepare("C:\\Program Files\\Vendor");
    EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
    EXPECT_EQ(std::vector<std::string>{"C:\\Program Files\\Vendor\\Tarnix批打印软件"},
              security.Made());
    EXPECT_EQ((std::vector<std::string>{"C:\\", "C:\\Program Files"}), security.Inspected());

    // Made by the installer below Program Files.
    const PreparedFolder made = Prepare("C:\\Program Files\\Tarnix");
    EXPECT_EQ(FolderReadiness::Ready, made.readiness);
}

TEST_F(FolderAccessTest, ChosenFolderOthersMayRenameIsRefused) {
    // An administrator made D:\Tools: owned by Administrators, but every
    // signed-in user may rename it (Modify, inherited from D:\).
    fs.AddFolder("D:\\Tools");
    EXPECT_NE(0u, security.OthersRights("D:\\Tools") & kRightDelete);
    ExpectRefusedUntouched("D:\\Tools");

    // Each right that lets others remove, rename or re-secure it, alone.
    for (std::uint32_t right :
         {kRightDelete, kRightWriteDac, kRightWriteOwner, kRightDeleteChild}) {
        SCOPED_TRACE(right);
        security.SetAccessList("D:\\Tools", {{kSidAuthenticatedUsers, right, 0}}, true);
        ExpectRefusedUntouched("D:\\Tools");
    }
}

TEST_F(FolderAccessTest, ChosenFolderOthersMayOnlyAddFoldersToIsReused) {
    fs.AddFolder("D:\\Tools");
    security.SetAccessList(
        "D:\\Tools",
        {{kSidAdministrators, kRightsAll, kAceObjectInherit | kAceContainerInherit},
         {kSidAuthenticatedUsers, kRightAddSubdirectory | kRightAddFile, 0},
         {kSidUsers, kFileGenericRead | kFileGenericExecute, 0}},
        true);
    const PreparedFolder prepared = Prepare("D:\\Tools");
    EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
    EXPECT_EQ(std::vector<std::string>{"D:\\Tools\\Tarnix批打印软件"}, security.Made());
    EXPECT_EQ(2, security.HeldNow());
}

TEST_F(FolderAccessTest, ProductFolderFoundInPlaceMustLetOthersChangeNothing) {
    const std::string product = "C:\\Tarnix\\Tarnix批打印软件";
    fs.AddFolder("C:\\Tarnix");
    security.SetAccessList("C:\\Tarnix", ProtectedFolderList(), true);
    fs.AddFolder(product);
    for (std::uint32_t right :
         {kRightAddFile, kRightAddSubdirectory, kRightDeleteChild, kRightDelete, kRightWriteDac,
          kRightWriteOwner, kRightWriteEa, kRightWriteAttributes}) {
        SCOPED_TRACE(right);
        security.SetAccessList(product, {{kSidUsers, right, 0}});
        EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare("C:\\Tarnix").readiness);
        EXPECT_EQ(0, security.HeldNow());
    }
    // Generic write is mapped before it is judged.
    security.SetAccessList(product, {{kSidEveryone, kGenericWrite, 0}}, true);
    EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare("C:\\Tarnix").readiness);
    // A list that is not there at all lets everyone do everything.
    security.SetNullAccessList(product);
    EXPECT_EQ(FolderReadiness::UnsafeExisting, Prepare("C:\\Tarnix").readiness);
    // Read and execute for others, and anything for the running user: reused.
    security.SetAccessList(product,
                           {{kSidUsers, kFileGenericRead | kFileGenericExecute, 0},
                            {security.CurrentUserSid(), kRightsAll, 0}},
                           true);
    EXPECT_EQ(FolderReadiness::Ready, Prepare("C:\\Tarnix").readiness);
    EXPECT_TRUE(security.Made().empty());
}

TEST_F(FolderAccessTest, LevelsMadeNowAreNotJudgedByWhatIsAbove) {
    // The chosen folder exists and is sound; the product's folder is made
    // and carries the protected list whatever the chosen one passes on.
    fs.AddFolder("D:\\Tools");
    security.SetAccessList("D:\\Tools",
                           {{kSidAdministrators, kRightsAll, kAceContainerInherit},
                            {kSidUsers, kGenericWrite, kAceContainerInherit | kAceInheritOnly}},
                           true);
    const PreparedFolder prepared = Prepare("D:\\Tools");
    EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
    EXPECT_TRUE(security.MadeProtected("D:\\Tools\\Tarnix批打印软件"));
    EXPECT_EQ(kFileGenericRead | kFileGenericExecute,
              security.OthersRights("D:\\Tools\\Tarnix批打印软件"));
}

TEST_F(FolderAccessTest, FolderAboveOthersMayRenameOrThatIsALinkIsRefused) {
    // Made by the installer below D:\Tools, which any signed-in user may rename.
    fs.AddFolder("D:\\Tools");
    ExpectRefusedUntouched("D:\\Tools\\Tarnix");
    // Two levels up, and with each renaming right alone.
    fs.AddFolder("D:\\Tools\\Sub");
    for (std::uint32_t right : {kRightDelete, kRightWriteDac, kRightWriteOwner}) {
        SCOPED_TRACE(right);
        security.SetAccessList("D:\\Tools", {{kSidAuthenticatedUsers, right, 0}}, true);
        security.SetAccessList("D:\\Tools\\Sub", ProtectedFolderList(), true);
        ExpectRefusedUntouched("D:\\Tools\\Sub\\Tarnix");
    }
    // A junction above, however sound its own list.
    FakeFileSystem fs2{936};
    fs2.AddFolder("C:\\");
    fs2.AddFolder("C:\\Linked", kAttrDirectory | kAttrReparsePoint);
    FakeFolderSecurity security2{fs2};
    EXPECT_EQ(FolderReadiness::UnsafeExisting,
              PrepareInstallFolder(security2, kCp, "C:\\Linked\\Tarnix",
                                   "C:\\Linked\\Tarnix\\Tarnix批打印软件")
                  .readiness);
    EXPECT_TRUE(security2.Made().empty());
}

TEST_F(FolderAccessTest, ParentThatLetsOthersRemoveWhatIsInItIsRefused) {
    // The drive root with "delete subfolders and files" for everyone: the
    // installer's own C:\Tarnix could be removed and made again.
    security.SetAccessList("C:\\", {{kSidAdministrators, kRightsAll, kAceContainerInherit},
                                    {kSidEveryone, kRightDeleteChild, 0}});
    ExpectRefusedUntouched("C:\\Tarnix");
    // Or a new list put on the root.
    security.SetAccessList("C:\\", {{kSidAuthenticatedUsers, kRightWriteDac, 0}});
    ExpectRefusedUntouched("C:\\Tarnix");

    // A sound folder above the chosen one inside a parent that lets others
    // remove its children.
    fs.AddFolder("D:\\Tools");
    fs.AddFolder("D:\\Tools\\Sub");
    security.SetAccessList("D:\\Tools", {{kSidAdministrators, kRightsAll, 0},
                                         {kSidUsers, kRightDeleteChild, 0}},
                           true);
    security.SetAccessList("D:\\Tools\\Sub", ProtectedFolderList(), true);
    ExpectRefusedUntouched("D:\\Tools\\Sub\\Tarnix");
}

TEST_F(FolderAccessTest, FoldersAboveAreSplitAtWholeBackslashesOnly) {
    // 0x81 0x5C is one character: its trail byte is no separator.
    const std::string dbcs = "D:\\A\x81\x5C" "B";
    fs.AddFolder("D:\\Tools");
    security.SetAccessList("D:\\Tools", ProtectedFolderList(), true);
    fs.AddFolder("D:\\Tools\\" + dbcs.substr(3));
    security.SetAccessList("D:\\Tools\\" + dbcs.substr(3), ProtectedFolderList(), true);
    const std::string chosen = "D:\\Tools\\" + dbcs.substr(3) + "\\Tarnix";
    EXPECT_EQ(FolderReadiness::Ready, Prepare(chosen).readiness);
    EXPECT_EQ((std::vector<std::string>{"D:\\", "D:\\Tools", "D:\\Tools\\" + dbcs.substr(3)}),
              security.Inspected());
}

TEST_F(FolderAccessTest, VolumeWithoutAccessListsOrUnseenFoldersAbove) {
    // FAT: refused at the drive's root, before anything is made.
    fs.AddFolder("E:\\");
    fs.AddFolder("E:\\Tools");
    security.WithoutAccessLists("E:");
    ExpectRefusedUntouched("E:\\Tools\\Sub");
    EXPECT_EQ(std::vector<std::string>{"E:\\"}, security.Inspected());

    // A folder above that cannot be looked at, or that is missing: nothing made.
    FakeFileSystem fs2{936};
    fs2.AddFolder("C:\\");
    fs2.AddFolder("C:\\Shut");
    FakeFolderSecurity security2{fs2};
    security2.DenyOpen("C:\\Shut");
    EXPECT_EQ(FolderReadiness::Failed,
              PrepareInstallFolder(security2, kCp, "C:\\Shut\\Tarnix", "C:\\Shut\\Tarnix\\x")
                  .readiness);
    EXPECT_TRUE(security2.Made().empty());
    // No drive to start from: nothing above can be checked.
    EXPECT_EQ(FolderReadiness::Failed,
              PrepareInstallFolder(security2, kCp, "\\\\server\\share", "\\\\server\\share\\x")
                  .readiness);
    EXPECT_TRUE(security2.Made().empty());
}

}  // namespace
}  // namespace tx
