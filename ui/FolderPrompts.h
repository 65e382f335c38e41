// The folder chooser's questions and reports as message boxes.
#pragma once

#include <string>

#include "engine/PathRules.h"
#include "platform/UserIo.h"

namespace tx {

class FolderPrompts final : public IFolderQuestions {
public:
    // title: the caption of every box.
    FolderPrompts(IMessageBox& messages, std::string title)
        : mb_(messages), title_(std::move(title)) {}

    bool CreateMissing(const std::string& path) override;
    void Invalid(const std::string& path) override;
    void NotCreated(const std::string& path) override;

private:
    IMessageBox& mb_;
    std::string title_;
};

}  // namespace tx
