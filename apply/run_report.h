// What a run of this layer other than the apply (the dry run, the undo, the check) tells and
// how it ends: the program prints the text and exits with the code.
#pragma once

#include <string>

#include "apply/portal_apply.h"

namespace zuv {

struct RunReport {
    std::string text;             // lines ending in '\n', as they are to be told
    int exitCode = kExitSuccess;
};

}  // namespace zuv
