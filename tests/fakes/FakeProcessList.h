// A process list set by the test: executable names, or a failed snapshot.
#pragma once

#include <string>
#include <vector>

#include "platform/Processes.h"

namespace tx {

class FakeProcessList : public IProcessList {
public:
    FakeProcessList() = default;
    explicit FakeProcessList(std::vector<std::string> names) : names_(std::move(names)) {}

    void SetNames(std::vector<std::string> names) { names_ = std::move(names); }
    void FailSnapshot(bool fail = true) { failSnapshot_ = fail; }
    int Queries() const { return queries_; }

    [[nodiscard]] bool ExecutableNames(std::vector<std::string>* names) override;

private:
    std::vector<std::string> names_;
    bool failSnapshot_ = false;
    int queries_ = 0;
};

}  // namespace tx
