#include "engine/Action.h"

#include "engine/actions/DemandLoadKey.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/FileWrittenNew.h"
#include "engine/actions/FolderMade.h"
#include "engine/actions/MachineKeyMade.h"
#include "engine/actions/MovedFrom.h"
#include "engine/actions/ProgramKey.h"
#include "engine/actions/TrustedPathsValue.h"
#include "engine/actions/UninstallerCopy.h"

namespace tx {

std::string Action::Describe() const {
    const std::vector<std::string> fields = Fields();
    return fields.size() > 1 ? fields[0] + " " + fields[1] : fields[0];
}

std::unique_ptr<Action> ParseAction(const std::vector<std::string>& f) {
    using Parser = std::unique_ptr<Action> (*)(const std::vector<std::string>&);
    static const struct {
        const char* kind;
        Parser parse;
    } kKinds[] = {
        {FolderMade::kKind, &FolderMade::Parse},
        {FileWrittenNew::kKind, &FileWrittenNew::Parse},
        {FileReplaced::kKind, &FileReplaced::Parse},
        {MachineKeyMade::kKind, &MachineKeyMade::Parse},
        {DemandLoadKey::kKind, &DemandLoadKey::Parse},
        {TrustedPathsValue::kKind, &TrustedPathsValue::Parse},
        {ProgramKey::kKind, &ProgramKey::Parse},
        {UninstallerCopy::kKind, &UninstallerCopy::Parse},
        {MovedFrom::kKind, &MovedFrom::Parse},
    };
    if (f.empty()) return nullptr;
    for (const auto& k : kKinds)
        if (f[0] == k.kind) return k.parse(f);
    return nullptr;
}

}  // namespace tx
