#include "tests/fakes/FakeProcessList.h"

namespace tx {

bool FakeProcessList::ExecutableNames(std::vector<std::string>* names) {
    ++queries_;
    // An empty list is a snapshot without a first entry.
    if (failSnapshot_ || names_.empty()) return false;
    names->insert(names->end(), names_.begin(), names_.end());
    return true;
}

}  // namespace tx
