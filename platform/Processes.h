// The running processes, as the tool-help snapshot lists them.
#pragma once

#include <string>
#include <vector>

namespace tx {

class IProcessList {
public:
    virtual ~IProcessList() = default;
    // Appends the executable file name (szExeFile) of every running process,
    // in snapshot order. False when no snapshot could be taken or it yields
    // no first entry.
    [[nodiscard]] virtual bool ExecutableNames(std::vector<std::string>* names) = 0;
};

}  // namespace tx
