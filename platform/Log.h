// The run's log: one line per action, for the people who deploy the
// installer to many machines. Writing it never stops anything.
#pragma once

#include <string>

namespace tx {

class ILog {
public:
    virtual ~ILog() = default;
    // One line in the ANSI code page, without its line end; the log adds
    // the time and stores it as UTF-8.
    virtual void Line(const std::string& text) = 0;
};

// For runs and tests that keep no log.
class NullLog final : public ILog {
public:
    void Line(const std::string&) override {}
};

}  // namespace tx
