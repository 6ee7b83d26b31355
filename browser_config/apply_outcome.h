// What one apply came to: success, an address refused before anything was written, the first
// write the registry refused, or the run-time error that stopped the steps. The apply command owns it and hands it to the steps, which
// record into it a write that could not be made and go on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "registry/mdlReg.h"

namespace zuv {

// A write that could not be made.
struct RefusedWrite {
    RegKey root = 0;
    std::string path;
    std::string valueName;
    long code = 0;
    std::string systemText;  // the platform's description of `code`
    // Set when the registry layer or a step refused (not a byte array, a number out of range,
    // a tree that could not be read): it explains the refusal instead of code and systemText.
    std::string reason;
    // Set when the step chose not to write because what is there already decides otherwise (a
    // range of another zone covers the address): the whole description, names shortened.
    std::string conflict;
    std::string shortConflict;
};

class ApplyOutcome {
public:
    bool Succeeded() const { return !refusal_ && !error_ && !addressRefusal_; }
    // Why the address was refused before any step ran, if it was.
    const std::optional<std::string>& AddressRefusal() const { return addressRefusal_; }
    // The first refused write of the apply, if any.
    const std::optional<RefusedWrite>& Refusal() const { return refusal_; }
    // The run-time error that stopped the steps, if one did.
    struct StopError {
        std::string description;
        std::string shortDescription;  // with long quoted names shortened
    };
    const std::optional<StopError>& Error() const { return error_; }

    // Keeps the first refusal; later ones change nothing.
    void NoteRefusal(RefusedWrite refused);
    void Stop(std::string description, std::string shortDescription = {});
    void RefuseAddress(std::string why) { addressRefusal_ = std::move(why); }

private:
    std::optional<std::string> addressRefusal_;
    std::optional<RefusedWrite> refusal_;
    std::optional<StopError> error_;
};

// SetValue for a configuration step: a write the registry refuses is noted in `outcome`, and
// the apply goes on.
void WriteValue(mdlReg& reg, ApplyOutcome& outcome, RegKey root, const std::string& path,
                const std::string& valueName, const RegValue& value, std::uint32_t type);

}  // namespace zuv
