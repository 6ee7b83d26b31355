// A ProfileHost that keeps the profile list, the account names and each profile's record in
// memory, and notes whose records were asked for.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "apply/profile_host.h"

namespace zuv::test {

class FakeProfiles : public ProfileHost {
public:
    std::vector<ProfileEntry> entries;
    std::string listFailure;                      // set: the profile list cannot be read
    std::map<std::string, std::string> accounts;  // account names by SID; others do not resolve
    // What each profile's hive answers, by SID; a profile not here has a hive without a record.
    std::map<std::string, Result<ProfileRecord>> records;
    std::vector<std::string> asked;               // the SIDs whose records were read, in order

    // A profile whose hive holds `record` (none: no record key).
    void Add(const std::string& sid, const std::string& folder, std::optional<StoredRecord> record,
             HiveSource source = HiveSource::Loaded) {
        entries.push_back({sid, folder});
        records.insert_or_assign(sid, Result<ProfileRecord>(ProfileRecord{source, std::move(record)}));
    }
    // A profile whose hive cannot be read now, for this reason.
    void AddUnreadable(const std::string& sid, const std::string& folder, const std::string& why) {
        entries.push_back({sid, folder});
        records.insert_or_assign(sid, Result<ProfileRecord>(Failure{why}));
    }

    Result<std::vector<ProfileEntry>> Profiles() override {
        if (!listFailure.empty()) return Failure{listFailure};
        return entries;
    }
    std::optional<std::string> AccountName(const std::string& sid) override {
        const auto found = accounts.find(sid);
        if (found == accounts.end()) return std::nullopt;
        return found->second;
    }
    Result<ProfileRecord> ReadRecord(const ProfileEntry& profile) override {
        asked.push_back(profile.sid);
        const auto found = records.find(profile.sid);
        if (found == records.end()) return ProfileRecord{};
        return found->second;
    }
};

}  // namespace zuv::test
