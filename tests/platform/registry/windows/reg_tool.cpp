#include "tests/platform/registry/windows/reg_tool.h"

#include <windows.h>

namespace wintest {
namespace {
std::wstring Quote(const std::wstring& text) { return L"\"" + text + L"\""; }
}  // namespace

int Reg(const std::wstring& arguments) {
    // Started directly, not through the command interpreter, which would expand %NAME% in the data.
    std::wstring command = L"reg.exe " + arguments + L" /reg:64 /f";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    SetHandleInformation(nul, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    startup.hStdOutput = startup.hStdError = nul;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(nul);
        return -1;
    }
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, 60'000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(nul);
    return static_cast<int>(code);
}

int RegAdd(const std::wstring& key, const std::wstring& name, const std::wstring& type, const std::wstring& data) {
    return Reg(L"add " + Quote(key) + L" /v " + Quote(name) + L" /t " + type + L" /d " + Quote(data));
}

int RegDelete(const std::wstring& key) { return Reg(L"delete " + Quote(key)); }

bool LockKey(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR sd;
    ACL acl;
    const bool ok = InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                    InitializeAcl(&acl, sizeof acl, ACL_REVISION) && SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE) &&
                    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

}  // namespace wintest
