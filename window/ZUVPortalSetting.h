// The window ZUVPortalSetting as logic: its event handlers and the apply command, talking to
// the screen only through UiPort.
#pragma once

#include <string>

#include "browser_config/apply_outcome.h"
#include "browser_config/browser_config.h"
#include "registry/mdlReg.h"
#include "window/ui_port.h"

namespace zuv {

inline constexpr const char* kMessageCaption = "提示信息";
inline constexpr const char* kSuccessMessage = "恭喜你，设置成功！";
inline constexpr const char* kFailurePrefix = "设置出错，原因：";
constexpr unsigned kMessageFlags = kMbOk | kMbIconInformation;  // 64

// Told about each apply: just before it, when nothing is written yet, and once it is over
// (the program keeps its backup and its log this way). Nothing it does changes the apply.
class ApplyJournal {
public:
    virtual ~ApplyJournal() = default;
    virtual void BeforeApply(const std::string& address, IeGeneration generation,
                             SiteProtocols protocols) = 0;
    virtual void AfterApply(const std::string& address, const ApplyOutcome& outcome) = 0;
};

class ZUVPortalSetting {
public:
    ZUVPortalSetting(UiPort& ui, mdlReg& reg, ApplyJournal* journal = nullptr)
        : ui_(ui), reg_(reg), journal_(journal) {}

    // Start-up: detects the browser generation. Runs before the window is shown.
    void Form_Load();
    // The apply command: applies the address in txtURL and shows the outcome.
    void cmdOK_Click();
    // Unloads the window; nothing is written or asked.
    void cmdCancel_Click();
    // Returns true when the key was handled here (Enter moves the focus on),
    // false when it is left to the text box.
    bool txtURL_KeyDown(int keyCode);

    // One apply of `address` as the apply command makes it, told to the journal before and
    // after, without the message. An address the address rule refuses ends here, before the
    // journal's backup and before any write; the journal is told of it afterwards.
    ApplyOutcome RunApply(const std::string& address);
    // The steps of the apply command for `address`, in their order, inside its single error
    // trap: a run-time error abandons the remaining steps.
    ApplyOutcome Apply(const std::string& address);

    IeGeneration BrowserGeneration = IeGeneration::IE6;
    // What the site is trusted for. Only the command line asks for https as well.
    SiteProtocols Protocols = SiteProtocols::Http;

private:
    UiPort& ui_;
    mdlReg& reg_;
    ApplyJournal* journal_;
};

// How names appear in the text of an outcome: whole (the log), or each one longer than
// kShortNameLength characters shortened in its middle (message box and command-line output,
// where a long address would push the reason off the screen).
enum class NameLength { Whole, Short };

// The text the user is told for an outcome: the success message, or the failure prefix and
// what went wrong.
std::string MessageText(const ApplyOutcome& outcome, NameLength names);

}  // namespace zuv
