#pragma once
#include <string>
#include <windows.h>

namespace w32fake {
// Paths are below HKEY_LOCAL_MACHINE, components separated by backslashes,
// matched without regard to letter case as the registry does. Keys are
// created on demand; subkeys and values enumerate in the order they were made.
void RegAddKey(const std::string &path);
void RegSetString(const std::string &path, const std::string &name, const std::string &text);
// Raw data of any type, with or without a terminator.
void RegSetValue(const std::string &path, const std::string &name, DWORD type, const std::string &bytes);
// REG_MULTI_SZ from a list of strings: each closed by a NUL, the list by one more.
void RegSetMultiString(const std::string &path, const std::initializer_list<std::string> &items);
// Opening this key (from its parent) fails with the given status.
void RegFailOpen(const std::string &path, LONG status);
// RegEnumKeyExA on this key at this index fails with the given status.
void RegFailEnumKey(const std::string &path, DWORD index, LONG status);
// Reading this value fails with the given status.
void RegFailQuery(const std::string &path, const std::string &name, LONG status);
// Keys opened by the program and not yet closed.
int RegOpenKeyCount();
// RegOpenKeyExA calls so far (successful or not), and the access each asked.
int RegOpenCalls();
REGSAM RegLastAccess();
}  // namespace w32fake
