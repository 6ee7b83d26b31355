// A ProgramHost that keeps everything in memory: the output, message boxes and log lines,
// with a fixed clock, user and computer, and switches for what the system would refuse.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "backup/backup_files.h"
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
    std::string lastBackupName;      // the name in backupFolder of the last one saved
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
        const std::string name = NextBackupName(Clock(), FolderNames());
        backupFolder[name] = document;
        if (const auto original = BackupToKeepAsOriginal(FolderNames(), Clock())) {
            backupFolder["original-" + *original] = backupFolder[*original];
        }
        lastBackupName = name;
        return {"C:\\Users\\alice\\AppData\\Local\\ZUVPortalSetting\\backup\\" + name, {}};
    }
    // The backup folder, file name by file name, as SaveBackup keeps it: dated names from the
    // clock `now`, the original kept beside them; set: reading the folder fails with this text.
    std::map<std::string, std::vector<unsigned char>> backupFolder;
    std::string folderFailure;
    // Files written by WriteWholeFile; set: writing fails with this text.
    std::map<std::string, std::vector<unsigned char>> files;
    std::string fileFailure;

    BackupTime Clock() const {
        using namespace std::chrono;
        return local_days{year{now.year} / now.month / now.day} + hours{now.hour} +
               minutes{now.minute} + seconds{now.second} + milliseconds{now.millisecond};
    }
    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : backupFolder) names.push_back(entry.first);
        return names;
    }
    bool BackupNames(std::vector<std::string>& names, std::string& error) override {
        if (!folderFailure.empty()) {
            error = folderFailure;
            return false;
        }
        names = FolderNames();
        return true;
    }
    bool ReadBackup(const std::string& name, std::vector<unsigned char>& bytes,
                    std::string& error) override {
        const auto found = backupFolder.find(name);
        if (found == backupFolder.end()) {
            error = "找不到文件 " + name;
            return false;
        }
        bytes = found->second;
        return true;
    }
    bool RenameBackup(const std::string& name, const std::string& newName,
                      std::string& error) override {
        if (!backupFolder.count(name) || backupFolder.count(newName)) {
            error = "无法改名 " + name;
            return false;
        }
        backupFolder[newName] = backupFolder[name];
        backupFolder.erase(name);
        return true;
    }
    bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes,
                        std::string& error) override {
        if (!fileFailure.empty()) {
            error = fileFailure;
            return false;
        }
        files[path] = bytes;
        return true;
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
