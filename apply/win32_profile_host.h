// ProfileHost on Windows: the profile list of HKEY_LOCAL_MACHINE, account names by
// LookupAccountSidW, and each profile's record from its hive under HKEY_USERS or, when the user
// is not signed in, from a copy of the profile's NTUSER.DAT (so the file itself is only read):
// the copy is loaded as an application hive (RegLoadAppKeyW), else under HKEY_USERS for the
// moment of reading (RegLoadKeyW, which needs the backup and restore privileges of an
// administrator or LocalSystem), and removed afterwards.
#pragma once

#include "apply/profile_host.h"

namespace zuv {

class Win32ProfileHost final : public ProfileHost {
public:
    Result<std::vector<ProfileEntry>> Profiles() override;
    std::optional<std::string> AccountName(const std::string& sid) override;
    Result<ProfileRecord> ReadRecord(const ProfileEntry& profile) override;
};

}  // namespace zuv
