// A ProgramHost (and the ApplyHost of its applies) that keeps everything in memory: the output,
// message boxes and log lines, with a fixed clock, user and computer, switches for what the
// system would refuse, and the machine's profiles for /report.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "backup/backup_document.h"
#include "backup/backup_files.h"
#include "tests/doubles/fake_profiles.h"
#include "program/program_host.h"

namespace zuv::test {

class FakeHost : public ProgramHost, public ApplyHost {
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

    // The machine's profiles and their records, for /report.
    FakeProfiles profiles;

    ApplyHost& Apply() override { return *this; }
    ProfileHost& Profiles() override { return profiles; }
    Result<> WriteOutput(const std::string& text) override {
        if (!hasOutput) return Failure{"没有控制台"};
        output += text;
        return Done{};
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
    Result<std::string> SaveBackup(const std::vector<unsigned char>& document) override {
        if (onBackup) onBackup();
        if (!backupFailure.empty()) return Failure{backupFailure};
        backups.push_back(document);
        const std::string name = NextBackupName(Clock(), FolderNames());
        backupFolder[name] = document;
        if (const auto original = BackupToKeepAsOriginal(FolderNames(), Clock(), Kinds())) {
            backupFolder["original-" + *original] = backupFolder[*original];
        }
        lastBackupName = name;
        return "C:\\Users\\alice\\AppData\\Local\\ZUVPortalSetting\\backup\\" + name;
    }
    // The backup folder, file name by file name, as SaveBackup keeps it: dated names from the
    // clock `now`, the original kept beside them; set: reading the folder fails with this text.
    std::map<std::string, std::vector<unsigned char>> backupFolder;
    std::string folderFailure;
    // Files written by WriteWholeFile; set: writing fails with this text.
    std::map<std::string, std::vector<unsigned char>> files;
    std::string fileFailure;

    BackupTime Clock() const { return BackupTimeOf(now); }
    // The kind of each file of backupFolder, as the Windows host reads it.
    KindOfFile Kinds() const {
        return [this](const std::string& name) {
            const auto found = backupFolder.find(name);
            return found == backupFolder.end() ? BackupKind::Foreign : KindOfBackup(found->second);
        };
    }
    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : backupFolder) names.push_back(entry.first);
        return names;
    }
    Result<std::vector<std::string>> BackupNames() override {
        if (!folderFailure.empty()) return Failure{folderFailure};
        return FolderNames();
    }
    Result<std::vector<unsigned char>> ReadBackup(const std::string& name) override {
        const auto found = backupFolder.find(name);
        if (found == backupFolder.end()) return Failure{"找不到文件 " + name};
        return found->second;
    }
    Result<> RenameBackup(const std::string& name, const std::string& newName) override {
        if (!backupFolder.count(name) || backupFolder.count(newName)) {
            return Failure{"无法改名 " + name};
        }
        backupFolder[newName] = backupFolder[name];
        backupFolder.erase(name);
        return Done{};
    }
    Result<> WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) override {
        if (!fileFailure.empty()) return Failure{fileFailure};
        files[path] = bytes;
        return Done{};
    }
    Result<std::string> DefaultLogFile() override { return defaultLog; }
    Result<> AppendLogLine(const std::string& file, const std::string& line) override {
        if (!logFailure.empty()) return Failure{logFailure};
        logs[file].push_back(line);
        return Done{};
    }
};

}  // namespace zuv::test
