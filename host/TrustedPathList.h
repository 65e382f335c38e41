// AutoCAD's TRUSTEDPATHS value as a list of folders: entries separated by
// ';', each possibly quoted, "<folder>\..." trusting a whole tree. Both the
// installation, which adds its folder, and its undo, which takes it out
// again, read the list through here.
#pragma once

#include <string>
#include <vector>

#include "host/RegValueState.h"
#include "platform/WideText.h"

namespace tx {

// The value's name in every profile's Variables key.
constexpr const char* kTrustedPaths = "TRUSTEDPATHS";

class TrustedPathList {
public:
    // text: the value without its terminating NULs.
    explicit TrustedPathList(WideString text) : text_(std::move(text)) {}

    // An entry as a folder to compare: surrounding quotes and one trailing
    // '\' dropped, Latin letters upper-cased.
    static WideString Folded(WideString entry);
    // The value's text without its terminating NULs; *nuls says how many.
    static WideString Body(const WideString& stored, std::size_t* nuls = nullptr);

    const WideString& Text() const { return text_; }
    std::vector<WideString> Entries() const;
    // Whether an entry trusts folder (already upper-cased by the system):
    // the folder itself or "<folder>\...".
    bool Trusts(const WideString& upperFolder, const IWideText& wide) const;
    // Whether an entry is exactly folder (already upper-cased by the system).
    bool HasEntry(const WideString& upperFolder, const IWideText& wide) const;
    // Drops every entry that is exactly folder; false when there was none.
    bool Remove(const WideString& upperFolder, const IWideText& wide);

private:
    WideString text_;
};

// Whether a stored value (a text type) has an entry that is exactly
// folder (upper-cased by the system).
bool StoredValueHasEntry(const RegValueState& value, const WideString& upperFolder,
                         const IWideText& wide);
// Takes folder's entries out of a stored value, its type and terminating
// NULs kept; false when it had none (or is no text).
bool RemoveStoredEntry(RegValueState* value, const WideString& upperFolder, const IWideText& wide);

}  // namespace tx
