// A log that keeps its lines in memory, for tests.
#pragma once

#include <string>
#include <vector>

#include "platform/Log.h"

namespace tx {

class MemoryLog final : public ILog {
public:
    void Line(const std::string& text) override { lines_.push_back(text); }
    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear() { lines_.clear(); }

private:
    std::vector<std::string> lines_;
};

}  // namespace tx
