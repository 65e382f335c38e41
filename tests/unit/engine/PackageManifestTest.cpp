// The manifest the program carries: its text, and the block appended to
// the program's image before it is signed, read back through a held file.
#include "engine/PackageManifest.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/FakeFileSystem.h"

namespace tx {
namespace {

const std::string kHashA = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kHashB = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Heading() { return std::string(kManifestHeading) + "\n"; }

TEST(ManifestTextTest, ReadsEveryFileLineAndSkipsThePadding) {
    std::vector<ManifestFile> files;
    ASSERT_TRUE(ParseManifest(Heading() + kHashA + " 3 Tarnix.prt5\n" + kHashB +
                                  " 0 TX_BatchPlot2019.ARX\n" + kHashA + " 12 Read me.txt\n\n\n",
                              &files));
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ("Tarnix.prt5", files[0].name);
    EXPECT_EQ(3u, files[0].size);
    EXPECT_EQ(kHashA, files[0].sha256);
    EXPECT_EQ("TX_BatchPlot2019.ARX", files[1].name);
    EXPECT_EQ(0u, files[1].size);
    EXPECT_EQ("Read me.txt", files[2].name);
    EXPECT_EQ(12u, files[2].size);
    // A package of no files has a manifest too.
    ASSERT_TRUE(ParseManifest(Heading(), &files));
    EXPECT_TRUE(files.empty());
}

TEST(ManifestTextTest, AnyLineThatIsNotAFileOfItsKindRefusesTheWhole) {
    const std::string good = kHashA + " 3 a.ARX\n";
    const std::vector<std::string> bad = {
        "",                                              // no heading
        good,                                            // no heading
        "Tarnix package manifest 2\n" + good,            // another version
        Heading() + "BA7816BF" + kHashA.substr(8) + " 3 a.ARX\n",  // upper-case hex
        Heading() + kHashA.substr(1) + " 3 a.ARX\n",     // short digest
        Heading() + kHashA + " 3a a.ARX\n",              // size not a number
        Heading() + kHashA + "  a.ARX\n",                // no size
        Heading() + kHashA + " 3\n",                     // no name
        Heading() + kHashA + " 3 \n",                    // empty name
        Heading() + kHashA + " 3 ..\n",                  // not a file name
        Heading() + kHashA + " 3 sub\\a.ARX\n",          // a path
        Heading() + kHashA + " 3 sub/a.ARX\n",
        Heading() + kHashA + " 3 a.ARX:stream\n",
        Heading() + kHashA + " 3 a.ARX\r\n",             // CR LF
        Heading() + kHashA + " 3 批.ARX\n",              // not ASCII
        Heading() + kHashA + " 123456789012345678901 a.ARX\n",  // past 64 bits
        Heading() + good + kHashB + " 0 A.arx\n",        // the same name twice
        Heading() + good + "garbage\n",
    };
    for (const std::string& text : bad) {
        std::vector<ManifestFile> files = {{"left", 1, kHashA}};
        EXPECT_FALSE(ParseManifest(text, &files)) << text;
        EXPECT_TRUE(files.empty()) << text;
    }
}

void Put16(std::string& image, std::size_t at, unsigned v) {
    image[at] = static_cast<char>(v & 0xFF);
    image[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& image, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A PE32+ image of headers and one section, 0x400 bytes in all, whose
// section data ends like a footer: only what follows the sections counts.
std::string Image() {
    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, 0x80);
    image.replace(0x80, 4, std::string("PE\0\0", 4));
    Put16(image, 0x84 + 2, 1);     // one section
    Put16(image, 0x84 + 16, 240);  // the optional header's size
    const std::size_t optional = 0x98;
    Put16(image, optional, 0x20B);
    Put32(image, optional + 108, 16);  // data directories
    const std::size_t section = optional + 240;
    image.replace(section, 5, ".data");
    Put32(image, section + 16, 0x200);  // SizeOfRawData
    Put32(image, section + 20, 0x200);  // PointerToRawData
    image.replace(0x3F0, 16, std::string("00000064") + kManifestMagic);
    return image;
}

// The block as the package step appends it to image: padded with line
// breaks so that it ends 8-aligned (unless not aligned).
std::string Block(const std::string& image, const std::string& text, bool aligned = true) {
    std::string block = text;
    while (aligned && (image.size() + block.size() + 16) % 8 != 0) block += '\n';
    std::string length = std::to_string(block.size() + 16);
    length.insert(0, 8 - length.size(), '0');
    return block + length + kManifestMagic;
}

// A certificate table at the end, as a signing tool adds it.
std::string Signed(std::string image) {
    while (image.size() % 8 != 0) image += '\0';
    const std::size_t table = image.size();
    Put32(image, 0x98 + 112 + 4 * 8, static_cast<std::uint32_t>(table));
    Put32(image, 0x98 + 112 + 4 * 8 + 4, 0x100);
    return image + std::string(0x100, '\x30');
}

class ImageManifestTest : public ::testing::Test {
protected:
    PackageManifest Read(const std::string& image) {
        fs_.AddFile("C:\\Pkg\\SetUp.exe", image);
        std::unique_ptr<IHeldFile> held;
        EXPECT_TRUE(fs_.HoldForReading("C:\\Pkg\\SetUp.exe", &held));
        return held ? ReadImageManifest(*held) : PackageManifest();
    }

    FakeFileSystem fs_;
    const std::string text_ = Heading() + kHashA + " 3 Tarnix.prt5\n";
};

TEST_F(ImageManifestTest, ABuildWithoutOneCarriesNone) {
    const std::string image = Image();
    EXPECT_EQ(PackageManifest::State::None, Read(image).state);
    EXPECT_EQ(PackageManifest::State::None, Read(Signed(image)).state);
}

TEST_F(ImageManifestTest, TheBlockIsReadBeforeTheCertificateTableOrAtTheEnd) {
    const std::string image = Image() + Block(Image(), text_);
    for (const std::string& file : {image, Signed(image)}) {
        const PackageManifest m = Read(file);
        ASSERT_EQ(PackageManifest::State::Present, m.state);
        ASSERT_EQ(1u, m.files.size());
        EXPECT_EQ("Tarnix.prt5", m.files[0].name);
        EXPECT_EQ(kHashA, m.files[0].sha256);
    }
    // A tool that pads the table's start with zeros.
    std::string text = text_;
    while ((Image().size() + text.size() + 16) % 8 == 0) text += '\n';
    const std::string odd = Image() + Block(Image(), text, false);
    ASSERT_NE(0u, odd.size() % 8);
    EXPECT_EQ(PackageManifest::State::Present, Read(Signed(odd)).state);
}

TEST_F(ImageManifestTest, ABlockAfterTheSignatureIsNotThePrograms) {
    // Outside what the signature covers: anyone could have put it there.
    const std::string image = Signed(Image());
    EXPECT_EQ(PackageManifest::State::None, Read(image + Block(image, text_)).state);
}

TEST_F(ImageManifestTest, ADamagedBlockOrImageIsUnreadable) {
    const std::string image = Image();
    std::string badLength = image + Block(image, text_);
    badLength.replace(badLength.size() - 16, 8, "0000001x");
    std::string tooLong = image + Block(image, text_);
    tooLong.replace(tooLong.size() - 16, 8, "00099999");
    std::string badText = image + Block(image, Heading() + "garbage\n");
    std::string notPe = image + Block(image, text_);
    notPe[0] = 'Z';
    std::string tableOutside = Signed(image + Block(image, text_));
    Put32(tableOutside, 0x98 + 112 + 4 * 8, static_cast<std::uint32_t>(tableOutside.size() + 8));
    for (const std::string& file : {badLength, tooLong, badText, notPe, tableOutside})
        EXPECT_EQ(PackageManifest::State::Unreadable, Read(file).state);
}

}  // namespace
}  // namespace tx
