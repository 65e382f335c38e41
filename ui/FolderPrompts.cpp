#include "ui/FolderPrompts.h"

namespace tx {

bool FolderPrompts::CreateMissing(const std::string& path) {
    return mb_.Show("The folder:\n\n" + path +
                        "\n\ndoes not exist. Do you want the folder to be created?",
                    title_, kMbYesNo | kMbIconQuestion) == kIdYes;
}

void FolderPrompts::Invalid(const std::string& path) {
    Tell(mb_, "The folder:\n\n" + path + "\n\nis invalid. Please reenter.", title_,
         kMbOk | kMbIconExclamation);
}

void FolderPrompts::NotCreated(const std::string& path) {
    Tell(mb_, "The folder:\n\n" + path + "\n\ncan not be created. Please double check.", title_,
         kMbOk | kMbIconExclamation);
}

}  // namespace tx
