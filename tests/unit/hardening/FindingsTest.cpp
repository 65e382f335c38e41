// Faults the fuzzers and the failing-operation runs found, each kept as a
// case of its own. The literals below are compiled to code page 936 bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/HostRegistrar.h"
#include "tests/fakes/FakeRegistry.h"

namespace tx {
namespace {

const CodePage kGbk(936);
constexpr RegRoot kHkcu = RegRoot::CurrentUser;
const std::string kProfiles = "SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Profiles";
const std::string kHolding = kProfiles + "\\<<Unnamed Profile>>\\Variables";
const std::string kBare = kProfiles + "\\Second";
const std::string kOld = "C:\\Program Files\\Autodesk\\ApplicationPlugins;D:\\Lisp";

class TrustedPathsFindingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        reg_.SetString(kHkcu, kHolding, "TRUSTEDPATHS", kOld);
        reg_.CreatePath(kHkcu, kBare);
    }
    void Install(const std::string& folder) {
        registrar_.AddTrustedPath(folder);
        ASSERT_EQ(0u, reg_.OpenHandles());
    }
    std::optional<std::string> Value(const std::string& key) {
        return reg_.GetString(kHkcu, key, "TRUSTEDPATHS");
    }

    FakeRegistry reg_{936};
    FakeWideText wide_{936};
    HostRegistrar registrar_{reg_, kGbk, wide_};
};

// A folder holding ';' was added as it was: the list then named two other
// folders ("C:\A" among them, trusted by mistake), and as the folder was
// never found again, every installation added it once more.
TEST_F(TrustedPathsFindingsTest, FolderHoldingSeparatorIsNotAdded) {
    const std::string folder = "C:\\a;b\\Tarnix批打印软件";
    Install(folder);
    Install(folder);
    EXPECT_EQ(kOld, Value(kHolding));
    EXPECT_FALSE(Value(kBare + "\\Variables").has_value());
    EXPECT_FALSE(reg_.HasKey(kHkcu, kBare + "\\Variables"));
}

// Entries in quotes are compared without them, so a folder text in quotes
// was never found again and was added at every installation.
TEST_F(TrustedPathsFindingsTest, FolderHoldingQuotesIsNotAdded) {
    const std::string folder = "\"C:\\Tarnix\"";
    Install(folder);
    Install(folder);
    EXPECT_EQ(kOld, Value(kHolding));
    EXPECT_FALSE(Value(kBare + "\\Variables").has_value());
}

TEST_F(TrustedPathsFindingsTest, OrdinaryFolderStillAddedOnce) {
    const std::string folder = "C:\\Tarnix\\Tarnix批打印软件";
    Install(folder);
    Install(folder);
    EXPECT_EQ(kGbk.Upper(kOld + ";" + folder), Value(kHolding));
    EXPECT_EQ(kGbk.Upper(folder), Value(kBare + "\\Variables")) << "rewritten in upper case";
}

// The registry with one key that fails to open for writing while it can
// still be created (or opened through creation) right after.
class OpenRefusingRegistry : public IRegistry {
public:
    OpenRefusingRegistry(IRegistry& inner, std::string refused)
        : inner_(inner), refused_(std::move(refused)) {}
    long OpenRoot(RegRoot root, RegHandle* out) override { return inner_.OpenRoot(root, out); }
    long OpenKeyRead(RegHandle parent, const char* sub, RegHandle* out) override {
        return inner_.OpenKeyRead(parent, sub, out);
    }
    long OpenKey(RegHandle parent, const char* path, RegHandle* out) override {
        if (refused_ == path) {
            *out = 0;
            return error;
        }
        return inner_.OpenKey(parent, path, out);
    }
    long CreateKey(RegHandle parent, const char* path, RegHandle* out) override {
        return inner_.CreateKey(parent, path, out);
    }
    long DeleteKey(RegHandle parent, const char* path) override {
        return inner_.DeleteKey(parent, path);
    }
    long QuerySubkeyCount(RegHandle key, std::uint32_t* count) override {
        return inner_.QuerySubkeyCount(key, count);
    }
    long EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t* capacity) override {
        return inner_.EnumKey(key, index, name, capacity);
    }
    long QueryValue(RegHandle key, const char* name, std::uint32_t* type, unsigned char* data,
                    std::uint32_t* size) override {
        return inner_.QueryValue(key, name, type, data, size);
    }
    long SetValue(RegHandle key, const char* name, std::uint32_t type, const unsigned char* data,
                  std::uint32_t size) override {
        return inner_.SetValue(key, name, type, data, size);
    }
    long QueryValueWide(RegHandle key, const char* name, std::uint32_t* type, unsigned char* data,
                        std::uint32_t* size) override {
        return inner_.QueryValueWide(key, name, type, data, size);
    }
    long SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                      const unsigned char* data, std::uint32_t size) override {
        return inner_.SetValueWide(key, name, type, data, size);
    }
    void CloseKey(RegHandle key) override { inner_.CloseKey(key); }
    long DeleteValue(RegHandle key, const char* name) override {
        return inner_.DeleteValue(key, name);
    }
    long QueryValueCount(RegHandle key, std::uint32_t* count) override {
        return inner_.QueryValueCount(key, count);
    }
    long EnumValueWide(RegHandle key, std::uint32_t index, std::string* name, std::uint32_t* type,
                       std::vector<unsigned char>* data) override {
        return inner_.EnumValueWide(key, index, name, type, data);
    }

    long error = kRegAccessDenied;

private:
    IRegistry& inner_;
    std::string refused_;
};

// A Variables key that was there but failed to open was taken for a missing
// one: its value was read as empty and overwritten with the folder alone,
// and every trusted folder of that profile was lost.
TEST_F(TrustedPathsFindingsTest, VariablesKeyThatFailsToOpenKeepsItsEntries) {
    OpenRefusingRegistry refusing(reg_, kHolding);
    HostRegistrar registrar(refusing, kGbk, wide_);
    const std::string folder = "C:\\Tarnix\\Tarnix批打印软件";
    registrar.AddTrustedPath(folder);
    EXPECT_EQ(kOld, Value(kHolding));
    EXPECT_EQ(folder, Value(kBare + "\\Variables")) << "the other profile goes on";
    EXPECT_EQ(0u, reg_.OpenHandles());
}

TEST_F(TrustedPathsFindingsTest, MissingVariablesKeyIsStillCreated) {
    OpenRefusingRegistry refusing(reg_, kBare + "\\Variables");
    refusing.error = kRegNotFound;
    HostRegistrar registrar(refusing, kGbk, wide_);
    const std::string folder = "C:\\Tarnix\\Tarnix批打印软件";
    registrar.AddTrustedPath(folder);
    EXPECT_EQ(folder, Value(kBare + "\\Variables"));
}

}  // namespace
}  // namespace tx
