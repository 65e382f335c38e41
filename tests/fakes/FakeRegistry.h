// An in-memory registry for unit tests and benchmarks.
//
// It copies what the installer can observe of the Windows registry (as seen
// under Wine): names compared case-insensitively, subkeys enumerated in
// sorted order (by lower-cased name), multi-level paths with '\' that is not
// a trail byte, deletion refused for keys with subkeys, handles to deleted
// keys failing with kRegKeyDeleted, read-only handles that cannot write.
// Text values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are stored as UTF-16, as
// Windows stores them: the ANSI calls convert them with the code page, so a
// character it lacks reads back as "?" (RegQueryValueExA and RegSetValueExA
// document that conversion); the wide calls see the stored code units. Other
// types are bytes for both. Key and value names are kept as code page bytes,
// so non-ASCII names sort by their bytes here rather than by UTF-16.
//
// Every call through IRegistry is counted, and open handles are tracked so a
// test can assert that nothing leaked. Faults can be set per key path, also
// for keys that do not exist yet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "platform/WideText.h"
#include "tests/fakes/FakeWideText.h"

namespace tx {

struct RegCallCounts {
    std::uint64_t openRoot = 0;
    std::uint64_t openKeyRead = 0;
    std::uint64_t openKey = 0;
    std::uint64_t createKey = 0;
    std::uint64_t deleteKey = 0;
    std::uint64_t querySubkeyCount = 0;
    std::uint64_t enumKey = 0;
    std::uint64_t queryValue = 0;
    std::uint64_t setValue = 0;
    std::uint64_t queryValueWide = 0;
    std::uint64_t setValueWide = 0;
    std::uint64_t closeKey = 0;
    std::uint64_t deleteValue = 0;
    std::uint64_t queryValueCount = 0;
    std::uint64_t enumValueWide = 0;

    std::uint64_t Total() const {
        return openRoot + openKeyRead + openKey + createKey + deleteKey + querySubkeyCount +
               enumKey + queryValue + setValue + queryValueWide + setValueWide + closeKey +
               deleteValue + queryValueCount + enumValueWide;
    }
    // Successful or not: every call that may hand out a handle.
    std::uint64_t Opens() const { return openRoot + openKeyRead + openKey + createKey; }
};

struct RegValueData {
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
};

class FakeRegistry final : public IRegistry {
public:
    // Faults of one key path; they combine.
    enum Fault : unsigned {
        kFailOpen = 1u << 0,       // the key cannot be opened (nor deleted)
        kFailReadValue = 1u << 1,  // no value of it can be read nor listed
        kFailCreate = 1u << 2,     // CreateKey of exactly this path fails
        kFailDelete = 1u << 3,     // DeleteKey of it fails
        kFailWrite = 1u << 4,      // no value can be written to it
        kFailQueryInfo = 1u << 5,  // its subkey count cannot be read
        kFailEnum = 1u << 6,       // no subkey name of it can be read
        // With the write faults above: they are gone once a write has
        // failed (a value, a deletion or a creation fails once).
        kFailOnce = 1u << 7,
    };

    explicit FakeRegistry(unsigned codePage = 936);
    ~FakeRegistry() override;
    FakeRegistry(const FakeRegistry&) = delete;
    FakeRegistry& operator=(const FakeRegistry&) = delete;

    // Seeding: missing keys on the way are created; nothing is counted.
    // A malformed path (empty, or starting with '\') throws.
    void CreatePath(RegRoot root, const std::string& path);
    // The keys every Windows installation has and the installer writes
    // below: Programs and Features and Active Setup (the machine's and the
    // user's).
    void AddWindowsKeys();
    // REG_SZ, stored with its terminating NUL.
    void SetString(RegRoot root, const std::string& path, const std::string& name,
                   const std::string& text);
    void SetDword(RegRoot root, const std::string& path, const std::string& name,
                  std::uint32_t value);
    // Data as RegSetValueExA takes it: text types are converted to UTF-16.
    void SetRaw(RegRoot root, const std::string& path, const std::string& name,
                std::uint32_t type, std::vector<unsigned char> data);
    // A UTF-16 text value (REG_SZ unless told), stored with its NUL.
    void SetWideString(RegRoot root, const std::string& path, const std::string& name,
                       const WideString& text, std::uint32_t type = kRegSz);
    // Data as RegSetValueExW takes it: stored as it is.
    void SetRawWide(RegRoot root, const std::string& path, const std::string& name,
                    std::uint32_t type, std::vector<unsigned char> data);
    // Replaces the faults of path (0 clears them).
    void SetFaults(RegRoot root, const std::string& path, unsigned faults);

    // Inspection; nothing is counted.
    bool HasKey(RegRoot root, const std::string& path) const;
    // Direct subkeys in enumeration order; empty when the key is missing.
    std::vector<std::string> Subkeys(RegRoot root, const std::string& path) const;
    // Value names, sorted like subkeys.
    std::vector<std::string> ValueNames(RegRoot root, const std::string& path) const;
    // As RegQueryValueExA returns it: text types converted to the code page.
    std::optional<RegValueData> GetValue(RegRoot root, const std::string& path,
                                         const std::string& name) const;
    // The ANSI data up to its first NUL, whatever the type.
    std::optional<std::string> GetString(RegRoot root, const std::string& path,
                                         const std::string& name) const;
    // As stored (and as RegQueryValueExW returns it).
    std::optional<RegValueData> GetValueWide(RegRoot root, const std::string& path,
                                             const std::string& name) const;
    // The stored data read as UTF-16LE, up to its first NUL code unit.
    std::optional<WideString> GetWideString(RegRoot root, const std::string& path,
                                            const std::string& name) const;
    std::optional<std::uint32_t> GetDword(RegRoot root, const std::string& path,
                                          const std::string& name) const;
    // Keys below both roots, the roots not included.
    std::size_t KeyCount() const { return keyCount_; }
    // The whole tree, one key or value per line, for failure messages.
    std::string Dump() const;

    // Handles handed out and not closed yet (predefined roots excluded).
    std::size_t OpenHandles() const { return handles_.size(); }
    std::size_t PeakOpenHandles() const { return peakHandles_; }
    // Handles handed out so far: one per key opened or created.
    std::uint64_t HandlesIssued() const { return handlesIssued_; }
    // Calls made with, or closes of, a handle that is not open.
    std::uint64_t BadHandleUses() const { return badHandleUses_; }
    const RegCallCounts& Calls() const { return calls_; }
    void ResetCalls() { calls_ = RegCallCounts{}; }

    // Successful writes through IRegistry, in order, while recording is on:
    // "create HKCU\<path>", "delete HKLM\<path>", "set HKCU\<path> : <name>",
    // paths spelled as stored.
    void RecordWrites(bool on) { recordWrites_ = on; }
    const std::vector<std::string>& Writes() const { return writes_; }
    void ClearWrites() { writes_.clear(); }

    // IRegistry.
    [[nodiscard]] long OpenRoot(RegRoot root, RegHandle* out) override;
    [[nodiscard]] long OpenKeyRead(RegHandle parent, const char* sub, RegHandle* out) override;
    [[nodiscard]] long OpenKey(RegHandle parent, const char* path, RegHandle* out) override;
    [[nodiscard]] long CreateKey(RegHandle parent, const char* path, RegHandle* out) override;
    [[nodiscard]] long DeleteKey(RegHandle parent, const char* path) override;
    [[nodiscard]] long QuerySubkeyCount(RegHandle key, std::uint32_t* count) override;
    [[nodiscard]] long EnumKey(RegHandle key, std::uint32_t index, char* name,
                               std::uint32_t* capacity) override;
    [[nodiscard]] long QueryValue(RegHandle key, const char* name, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* size) override;
    [[nodiscard]] long SetValue(RegHandle key, const char* name, std::uint32_t type,
                                const unsigned char* data, std::uint32_t size) override;
    [[nodiscard]] long QueryValueWide(RegHandle key, const char* name, std::uint32_t* type,
                                      unsigned char* data, std::uint32_t* size) override;
    [[nodiscard]] long SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                                    const unsigned char* data, std::uint32_t size) override;
    void CloseKey(RegHandle key) override;
    [[nodiscard]] long DeleteValue(RegHandle key, const char* name) override;
    [[nodiscard]] long QueryValueCount(RegHandle key, std::uint32_t* count) override;
    // Values in the order of ValueNames().
    [[nodiscard]] long EnumValueWide(RegHandle key, std::uint32_t index, std::string* name,
                                     std::uint32_t* type,
                                     std::vector<unsigned char>* data) override;

private:
    struct Node;
    struct OpenKeyEntry {
        std::shared_ptr<Node> node;
        bool writable = false;
    };

    std::string Fold(const std::string& name) const;
    // Between the ANSI calls' data and the stored form.
    std::vector<unsigned char> Stored(std::uint32_t type, std::vector<unsigned char> ansi) const;
    RegValueData AnsiView(const RegValueData& stored) const;
    long Query(RegHandle key, const char* name, std::uint32_t* type, unsigned char* data,
               std::uint32_t* size, bool wide);
    long Set(RegHandle key, const char* name, std::uint32_t type, const unsigned char* data,
             std::uint32_t size, bool wide);
    long SplitPath(const char* path, std::vector<std::string>& parts) const;
    long Resolve(RegHandle handle, OpenKeyEntry& entry);
    // Opens an existing key below parent; a writable handle needs a path.
    long OpenExisting(RegHandle parent, const char* path, bool writable, RegHandle* out);
    unsigned FaultsOf(const Node& node) const;
    unsigned FaultsOf(const Node& parent, const std::string& childName) const;
    // Whether a write to the key at faultKey meets one of faults; a fault
    // that fails once is spent by it.
    bool WriteFails(const std::string& faultKey, unsigned faults);
    std::string FaultKey(const Node& node) const;
    std::string Spelled(const Node& node) const;
    const std::shared_ptr<Node>* Find(const std::shared_ptr<Node>& from,
                                      const std::vector<std::string>& parts) const;
    const Node* FindSeeded(RegRoot root, const std::string& path) const;
    Node& Ensure(RegRoot root, const std::string& path);
    std::shared_ptr<Node> AddChild(Node& parent, const std::string& name);
    RegHandle Issue(std::shared_ptr<Node> node, bool writable);
    std::shared_ptr<Node>& RootNode(RegRoot root);
    const std::shared_ptr<Node>& RootNode(RegRoot root) const;

    CodePage cp_;
    FakeWideText text_;
    std::shared_ptr<Node> localMachine_;
    std::shared_ptr<Node> currentUser_;
    std::unordered_map<RegHandle, OpenKeyEntry> handles_;
    std::unordered_map<std::string, unsigned> faults_;
    RegHandle nextHandle_ = 0x1000;
    std::size_t keyCount_ = 0;
    std::size_t peakHandles_ = 0;
    std::uint64_t handlesIssued_ = 0;
    std::uint64_t badHandleUses_ = 0;
    RegCallCounts calls_;
    bool recordWrites_ = false;
    std::vector<std::string> writes_;
};

}  // namespace tx
