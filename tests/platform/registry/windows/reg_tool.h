#pragma once
// Registry fixtures written as an administrator would, with Wine's (or Windows') own reg.exe on
// the 64-bit view. Declared without the system's header, whose macros clash with the platform
// layer's names.
#include <string>

namespace wintest {

// reg.exe with `arguments`; its exit status.
int Reg(const std::wstring& arguments);
int RegAdd(const std::wstring& key, const std::wstring& name, const std::wstring& type, const std::wstring& data);
int RegDelete(const std::wstring& key);

// Makes HKLM\`path` and gives it an empty DACL, which denies everyone everything. False when the
// key could not be made or its security not set.
bool LockKey(const std::wstring& path);

}  // namespace wintest
