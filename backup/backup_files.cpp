#include "backup/backup_files.h"

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <utility>

namespace zuv {

BackupTime BackupTimeOf(const LocalTime& t) {
    using namespace std::chrono;
    const year_month_day date{year{t.year}, month{static_cast<unsigned>(t.month)},
                              day{static_cast<unsigned>(t.day)}};
    return local_days{date} + hours{t.hour} + minutes{t.minute} + seconds{t.second} +
           milliseconds{t.millisecond};
}

namespace {

using namespace std::chrono;

constexpr std::string_view kPattern = "DDDDDDDD-DDDDDD-DDD.reg";
constexpr std::string_view kOriginalPrefix = "original-";
constexpr std::string_view kUnfinishedSuffix = ".partial";

// The number in `digits` characters of `text` from `at`.
int Number(std::string_view text, std::size_t at, std::size_t digits) {
    int n = 0;
    for (std::size_t i = at; i < at + digits; ++i) n = n * 10 + (text[i] - '0');
    return n;
}

// The tool's backups among `names` with their times, oldest first.
std::vector<std::pair<BackupTime, std::string>> OwnBackups(const std::vector<std::string>& names,
                                                           BackupTime now) {
    std::vector<std::pair<BackupTime, std::string>> backups;
    for (const std::string& name : names) {
        if (const auto time = OwnBackupTime(name, now)) backups.emplace_back(*time, name);
    }
    std::sort(backups.begin(), backups.end());
    return backups;
}

std::optional<BackupTime> OriginalTime(std::string_view name) {
    if (name.substr(0, kOriginalPrefix.size()) != kOriginalPrefix) return std::nullopt;
    return BackupFileTime(name.substr(kOriginalPrefix.size()));
}

}  // namespace

std::string BackupFileName(BackupTime time) {
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> clock{time - day};
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02u%02u-%02d%02d%02d-%03d.reg", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()),
                  static_cast<int>(clock.subseconds().count()));
    return name;
}

std::optional<BackupTime> BackupFileTime(std::string_view name) {
    if (name.size() != kPattern.size()) return std::nullopt;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (kPattern[i] == 'D' ? !digit : name[i] != kPattern[i]) return std::nullopt;
    }
    const year_month_day date{year{Number(name, 0, 4)},
                              month{static_cast<unsigned>(Number(name, 4, 2))},
                              day{static_cast<unsigned>(Number(name, 6, 2))}};
    const int hour = Number(name, 9, 2);
    const int minute = Number(name, 11, 2);
    const int second = Number(name, 13, 2);
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return local_days{date} + hours{hour} + minutes{minute} + seconds{second} +
           milliseconds{Number(name, 16, 3)};
}

std::optional<BackupTime> OwnBackupTime(std::string_view name, BackupTime now) {
    const auto time = BackupFileTime(name);
    if (!time || *time > now + kBackupClockSlack) return std::nullopt;
    return time;
}

std::string NextBackupName(BackupTime now, const std::vector<std::string>& existing) {
    BackupTime time = now;
    for (const std::string& name : existing) {
        if (const auto taken = OwnBackupTime(name, now); taken && *taken >= time) {
            time = *taken + milliseconds{1};
        }
    }
    return BackupFileName(time);
}

std::vector<std::string> BackupsToPrune(const std::vector<std::string>& names, BackupTime now,
                                        std::size_t keep) {
    const auto backups = OwnBackups(names, now);
    std::vector<std::string> old;
    for (std::size_t i = 0; i + keep < backups.size(); ++i) old.push_back(backups[i].second);
    return old;
}

std::string OriginalBackupFileName(BackupTime time) {
    return std::string(kOriginalPrefix) + BackupFileName(time);
}

std::optional<std::string> FindOriginalBackup(const std::vector<std::string>& names,
                                              const KindOfFile& kindOf) {
    // Marked before Unmarked, then the oldest.
    std::optional<std::tuple<bool, BackupTime, std::string>> best;
    for (const std::string& name : names) {
        const auto time = OriginalTime(name);
        if (!time) continue;
        const BackupKind kind = kindOf(name);
        if (kind == BackupKind::Foreign) continue;
        std::tuple<bool, BackupTime, std::string> candidate{kind != BackupKind::Marked, *time, name};
        if (!best || candidate < *best) best = std::move(candidate);
    }
    if (!best) return std::nullopt;
    return std::get<2>(*best);
}

std::optional<std::string> BackupToKeepAsOriginal(const std::vector<std::string>& names,
                                                  BackupTime now, const KindOfFile& kindOf) {
    if (FindOriginalBackup(names, kindOf)) return std::nullopt;
    for (const auto& backup : OwnBackups(names, now)) {
        if (kindOf(backup.second) == BackupKind::Marked) return backup.second;
    }
    return std::nullopt;
}

bool IsUnfinishedBackup(std::string_view name) {
    if (name.size() <= kUnfinishedSuffix.size() ||
        name.substr(name.size() - kUnfinishedSuffix.size()) != kUnfinishedSuffix) {
        return false;
    }
    const std::string_view finished = name.substr(0, name.size() - kUnfinishedSuffix.size());
    return BackupFileTime(finished) || OriginalTime(finished);
}

}  // namespace zuv
