#include "host/TrustedPathList.h"

#include <algorithm>

namespace tx {

WideString TrustedPathList::Folded(WideString e) {
    if (e.size() >= 2 && e.front() == u'"' && e.back() == u'"') e = e.substr(1, e.size() - 2);
    if (!e.empty() && e.back() == u'\\') e.pop_back();
    for (char16_t& c : e)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return e;
}

WideString TrustedPathList::Body(const WideString& stored, std::size_t* nuls) {
    std::size_t end = stored.size();
    while (end > 0 && stored[end - 1] == 0) --end;
    if (nuls != nullptr) *nuls = stored.size() - end;
    return stored.substr(0, end);
}

std::vector<WideString> TrustedPathList::Entries() const {
    std::vector<WideString> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semi = text_.find(u';', start);
        out.push_back(text_.substr(start, semi == WideString::npos ? WideString::npos : semi - start));
        if (semi == WideString::npos) return out;
        start = semi + 1;
    }
}

bool TrustedPathList::Trusts(const WideString& upperFolder, const IWideText& wide) const {
    const WideString wanted = Folded(upperFolder);
    const WideString tree = wanted + u"\\...";
    for (const WideString& e : Entries()) {
        const WideString folded = Folded(wide.UpperWide(e));
        if (!folded.empty() && (folded == wanted || folded == tree)) return true;
    }
    return false;
}

bool TrustedPathList::HasEntry(const WideString& upperFolder, const IWideText& wide) const {
    const WideString ours = Folded(upperFolder);
    for (const WideString& e : Entries())
        if (Folded(wide.UpperWide(e)) == ours) return true;
    return false;
}

bool TrustedPathList::Remove(const WideString& upperFolder, const IWideText& wide) {
    const WideString ours = Folded(upperFolder);
    WideString kept;
    bool removed = false;
    bool first = true;
    for (const WideString& e : Entries()) {
        if (Folded(wide.UpperWide(e)) == ours) {
            removed = true;
            continue;
        }
        if (!first) kept += u';';
        kept += e;
        first = false;
    }
    if (removed) text_ = kept;
    return removed;
}

bool StoredValueHasEntry(const RegValueState& value, const WideString& upperFolder,
                         const IWideText& wide) {
    return value.valueExists && IsTextType(value.type) &&
           TrustedPathList(TrustedPathList::Body(UnpackUtf16(value.data))).HasEntry(upperFolder, wide);
}

bool RemoveStoredEntry(RegValueState* value, const WideString& upperFolder, const IWideText& wide) {
    if (!value->valueExists || !IsTextType(value->type)) return false;
    std::size_t nuls = 0;
    TrustedPathList list(TrustedPathList::Body(UnpackUtf16(value->data), &nuls));
    if (!list.Remove(upperFolder, wide)) return false;
    WideString kept = list.Text();
    kept.append(std::max<std::size_t>(nuls, 1), u'\0');
    value->data = PackUtf16(kept);
    return true;
}

}  // namespace tx
