#include "browser_config/apply_outcome.h"

namespace zuv {

void ApplyOutcome::NoteRefusal(RefusedWrite refused) {
    if (!refusal_) refusal_ = std::move(refused);
}

void ApplyOutcome::Stop(std::string description, std::string shortDescription) {
    if (shortDescription.empty()) shortDescription = description;
    error_ = StopError{std::move(description), std::move(shortDescription)};
}

void WriteValue(mdlReg& reg, ApplyOutcome& outcome, RegKey root, const std::string& path,
                const std::string& valueName, const RegValue& value, std::uint32_t type) {
    if (reg.SetValue(root, path, valueName, value, type)) return;
    if (outcome.Refusal()) return;
    const long code = reg.RegStatus;
    std::string reason = RefusalReason(code, value, type);
    std::string systemText = reason.empty() ? reg.ErrorText(code) : std::string();
    outcome.NoteRefusal({root, path, valueName, code, std::move(systemText), std::move(reason), {}, {}});
}

}  // namespace zuv
