// What the install run asks of, and tells, whoever started it: the setup
// dialog answers with message boxes and its progress bar, a silent run
// answers at once.
#pragma once

#include <string>

namespace tx {

enum class CopyFailedAnswer { Abort, Retry, Ignore };

class IInstallObserver {
public:
    virtual ~IInstallObserver() = default;
    // A copy of the package's files onto target failed. Abort undoes the
    // whole run.
    virtual CopyFailedAnswer CopyFailed(const std::string& target) = 0;
    // Whether any failed change ends the run, undone: a silent run is all
    // or nothing. Otherwise a failed key, value or support file is skipped.
    virtual bool AllOrNothing() = 0;
    // The package has no Data folder; nothing was changed.
    virtual void NoDataFolder() = 0;
    // A restart the machine still owes (an uninstall's) would delete or
    // replace files of this installation; nothing was changed.
    virtual void RestartNeeded() = 0;
    // One step of the progress.
    virtual void Step() = 0;
};

}  // namespace tx
