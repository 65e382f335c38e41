// Removing a running program's own file once it has ended.
#pragma once

#include <string>
#include <vector>

namespace tx {

// Removes the running program file and the folders around it once the
// process has ended (a program cannot delete its own image while it runs).
class ISelfRemover {
public:
    virtual ~ISelfRemover() = default;
    // folders: deepest first, each removed only when empty. False when
    // nothing could be arranged.
    [[nodiscard]] virtual bool RemoveAfterExit(const std::string& image,
                                               const std::vector<std::string>& folders) = 0;
};

}  // namespace tx
