#include "apply/apply_log.h"

#include <cstdio>
#include <string>

#include "base/text.h"
#include "zuv_version.h"  // made by CMake from the project version

namespace zuv {
namespace {

// As "%02d" would write it, for any n (no buffer to outgrow).
std::string TwoDigits(int n) {
    std::string text = std::to_string(n);
    if (n >= 0 && n < 10) text.insert(text.begin(), '0');
    return text;
}

}  // namespace

std::string LogTimeText(const LocalTime& t) {
    char date[40];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    const int offset = t.offsetMinutes < 0 ? -t.offsetMinutes : t.offsetMinutes;
    return std::string(date) + (t.offsetMinutes < 0 ? " -" : " +") + TwoDigits(offset / 60) + ":" +
           TwoDigits(offset % 60);
}

std::string ProgramVersion() { return ZUV_VERSION_TEXT; }

std::string LogLine(const LogEntry& entry) {
    std::string started = entry.startedFrom == StartedFrom::Quiet   ? "quiet"
                          : entry.startedFrom == StartedFrom::Undo  ? "undo"
                          : entry.startedFrom == StartedFrom::Logon ? "logon"
                                                                    : "window";
    if (entry.https) started += " https";
    std::string line = LogTimeText(entry.time);
    std::string address(1, '"');
    address += EscapeInvisible(entry.address, true);
    address += '"';
    for (const std::string& field : {EscapeInvisible(entry.user), EscapeInvisible(entry.computer),
                                     started, address, EscapeInvisible(entry.outcome),
                                     EscapeInvisible(entry.backup), ProgramVersion()}) {
        line += '\t';
        line += field;
    }
    return line;
}

std::optional<std::string> WriteLogLine(ApplyHost& host, const std::optional<std::string>& logFile,
                                        StartedFrom startedFrom, bool https,
                                        const std::string& address, const std::string& outcome,
                                        const std::string& backup) {
    const Result<std::string> file = logFile ? Result<std::string>(*logFile) : host.DefaultLogFile();
    if (!file) return "日志未写入：" + file.Error();
    const LogEntry entry{host.Now(), host.UserName(), host.ComputerName(), startedFrom,
                         address,    outcome,         backup,              https};
    const Result<> appended = host.AppendLogLine(file.Value(), LogLine(entry));
    if (appended) return std::nullopt;
    return "日志未写入：" + file.Value() + "：" + appended.Error();
}

}  // namespace zuv
