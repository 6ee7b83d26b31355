// What the report of every user (/report) needs of the system: the machine's profile list, the
// account behind each profile, and the record the per-user run left in each profile's hive, read
// from the hive where it is loaded and otherwise from the profile's NTUSER.DAT without changing
// that file. On Windows it is Win32ProfileHost (apply/win32_profile_host.h); tests use a fake.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "apply/machine_package.h"
#include "base/result.h"

namespace zuv {

// The profile list, below HKEY_LOCAL_MACHINE.
inline constexpr const char* kProfileListKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// Text values longer than this many bytes (as stored) are not read: a record is a few short
// lines, and whatever a user's hive holds is read as untrusted.
inline constexpr std::size_t kRecordValueByteLimit = 64 * 1024;

// One entry of the profile list.
struct ProfileEntry {
    std::string sid;     // the entry's key name, as listed
    std::string folder;  // its ProfileImagePath, environment variables expanded; empty when none
};

// The record's values as a hive holds them. A value missing, of another type, or (texts) longer
// than kRecordValueByteLimit is left out.
struct StoredRecord {
    std::map<std::string, std::string> texts;  // by the names of kRecordTextNames, UTF-8
    std::optional<std::uint32_t> exitCode;     // ExitCode
};

// Where a record was read: the hive loaded under HKEY_USERS, or the profile's NTUSER.DAT.
enum class HiveSource { Loaded, ProfileFile };

struct ProfileRecord {
    HiveSource source = HiveSource::Loaded;
    std::optional<StoredRecord> record;  // none: the hive holds no record key
};

class ProfileHost {
public:
    virtual ~ProfileHost() = default;

    // Every entry of the profile list, as listed; fails when the list cannot be read.
    virtual Result<std::vector<ProfileEntry>> Profiles() = 0;
    // The account of a SID ("DOMAIN\name"), or nothing when it does not resolve.
    virtual std::optional<std::string> AccountName(const std::string& sid) = 0;
    // The profile's record: from HKEY_USERS\<SID> when that hive is loaded, otherwise from
    // <folder>\NTUSER.DAT, which stays as it is. Fails, saying why, when neither can be read now.
    virtual Result<ProfileRecord> ReadRecord(const ProfileEntry& profile) = 0;
};

}  // namespace zuv
