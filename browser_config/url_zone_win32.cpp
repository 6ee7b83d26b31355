// The zone of a URL as the platform's URL security manager gives it (urlmon).
#include "browser_config/url_zone.h"

#include <windows.h>
#include <urlmon.h>

#include <cstdio>
#include <string>

#include "base/win32_text.h"

namespace zuv {
namespace {

// COM on this thread for the lifetime of the object. A thread that already runs COM in the
// other apartment model keeps it: the security manager works in both.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

// One reference to a COM object, released when the scope ends.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (object_ != nullptr) object_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    Interface** Put() { return &object_; }
    Interface* operator->() const { return object_; }

private:
    Interface* object_ = nullptr;
};

std::string Failure(const char* step, HRESULT result) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    return std::string(step) + " 失败，错误代码 " + code;
}

// The display name the machine's settings give a zone. Wine's zone manager reads only the
// user's Zones key and names no zone when that key is missing.
std::string MachineZoneName(DWORD zone) {
    const std::wstring key =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\" +
        std::to_wstring(zone);
    wchar_t name[MAX_PATH] = {};
    DWORD size = sizeof name;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DisplayName", RRF_RT_REG_SZ, nullptr, name,
                     &size) != ERROR_SUCCESS) {
        return {};
    }
    return Narrow(name);
}

}  // namespace

UrlZoneAnswer AskUrlZone(const std::string& address, const std::string& protocol) {
    UrlZoneAnswer answer;
    const ComApartment com;
    if (!com.Usable()) {
        answer.error = Failure("CoInitializeEx", com.Result());
        return answer;
    }
    ComRef<IInternetSecurityManager> security;
    HRESULT result = CoInternetCreateSecurityManager(nullptr, security.Put(), 0);
    if (FAILED(result)) {
        answer.error = Failure("CoInternetCreateSecurityManager", result);
        return answer;
    }
    const std::wstring url = Widen(CheckUrl(address, protocol));
    DWORD zone = 0;
    result = security->MapUrlToZone(url.c_str(), &zone, 0);
    if (FAILED(result)) {
        answer.error = Failure("MapUrlToZone", result);
        return answer;
    }
    // Success with no zone at all (Wine answers so for https:// sites it has no entry for):
    // nothing to report as the browser's zone.
    if (zone == static_cast<DWORD>(URLZONE_INVALID)) {
        answer.error = "MapUrlToZone 没有给出区域（URLZONE_INVALID）";
        return answer;
    }
    answer.answered = true;
    answer.zone = zone;

    // The display name is a courtesy: without it the report names the zone itself.
    ComRef<IInternetZoneManager> zones;
    if (SUCCEEDED(CoInternetCreateZoneManager(nullptr, zones.Put(), 0))) {
        ZONEATTRIBUTES attributes{};
        attributes.cbSize = sizeof attributes;
        if (SUCCEEDED(zones->GetZoneAttributes(zone, &attributes))) {
            answer.zoneName = Narrow(attributes.szDisplayName);
        }
    }
    if (answer.zoneName.empty()) answer.zoneName = MachineZoneName(zone);
    return answer;
}

}  // namespace zuv
