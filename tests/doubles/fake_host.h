// A ProgramHost that keeps everything in memory: the output, message boxes and log lines,
// with a fixed clock, user and computer, and switches for what the system would refuse.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "program/program_host.h"

namespace zuv::test {

class FakeHost : public ProgramHost {
public:
    // What the program wrote; `hasOutput` false: there is no console and no redirected output.
    std::string output;
    bool hasOutput = true;
    std::vector<std::string> messageBoxes;
    bool localSystem = false;
    LocalTime now{2026, 12, 8, 18, 6, 55, 123, 480};
    std::string user = "alice";
    std::string computer = "PC01";
    std::string defaultLog = "C:\\Users\\alice\\AppData\\Local\\ZUVPortalSetting\\ZUVPortalSetting.log";
    // What the URL security manager answers.
    UrlZoneAnswer urlZone{true, 3, "Internet", ""};
    std::vector<std::string> zoneQuestions;
    std::vector<std::string> zoneProtocols;  // the protocol of each question
    // The backups saved, and their names; set: saving one fails with this text.
    std::vector<std::vector<unsigned char>> backups;
    std::string backupFailure;
    std::function<void()> onBackup;  // called as a backup is saved
    // Set: writing to the log fails with this text.
    std::string logFailure;
    std::map<std::string, std::vector<std::string>> logs;

    bool WriteOutput(const std::string& text) override {
        if (!hasOutput) return false;
        output += text;
        return true;
    }
    void ShowMessage(const std::string& text) override { messageBoxes.push_back(text); }
    UrlZoneAnswer AskUrlZone(const std::string& address, const std::string& protocol) override {
        zoneQuestions.push_back(address);
        zoneProtocols.push_back(protocol);
        return urlZone;
    }
    bool RunsAsLocalSystem() override { return localSystem; }
    LocalTime Now() override { return now; }
    std::string UserName() override { return user; }
    std::string ComputerName() override { return computer; }
    SavedBackup SaveBackup(const std::vector<unsigned char>& document) override {
        if (onBackup) onBackup();
        if (!backupFailure.empty()) return {{}, backupFailure};
        backups.push_back(document);
        return {"C:\\Users\\alice\\AppData\\Local\\ZUVPortalSetting\\backup\\" +
                    std::to_string(backups.size()) + ".reg",
                {}};
    }
    std::string DefaultLogFile(std::string&) override { return defaultLog; }
    bool AppendLogLine(const std::string& file, const std::string& line,
                       std::string& error) override {
        if (!logFailure.empty()) {
            error = logFailure;
            return false;
        }
        logs[file].push_back(line);
        return true;
    }
};

}  // namespace zuv::test
