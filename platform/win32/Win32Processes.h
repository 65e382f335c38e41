// IProcessList over a tool-help process snapshot.
#pragma once

#include "platform/Processes.h"

namespace tx {

class Win32ProcessList : public IProcessList {
public:
    [[nodiscard]] bool ExecutableNames(std::vector<std::string>* names) override;
};

}  // namespace tx
