#pragma once
#include <string>
#include <vector>
#include <windows.h>

namespace w32fake {
// What GetVersionExA reports; by default Windows NT 4.0.
void SetVersion(DWORD platformId, DWORD major, DWORD minor);
void FailGetVersion(DWORD error);

// Directories reported to the program. Defaults: C:\DIST, C:\WINDOWS,
// C:\WINDOWS\SYSTEM32, and C:\ROVAN\service.exe for the module.
void SetCurrentDirectory(const std::string &dir);
void SetWindowsDirectory(const std::string &dir);
void SetSystemDirectory(const std::string &dir);
void SetModuleFileName(const std::string &path);
void FailGetModuleFileName(DWORD error);

// Windows paths used by DeleteFileA and WritePrivateProfileStringA are mapped
// onto this host folder: "C:\X\y.inf" and ".\y.inf" (relative to the current
// directory) become <root>/c/X/y.inf. Without a root no file is touched and
// the calls fail with ERROR_PATH_NOT_FOUND.
void SetFileRoot(const std::string &hostFolder);
std::string HostPath(const std::string &windowsPath);
const std::vector<std::string> &DeletedFiles();
// WritePrivateProfileStringA fails with this code, the file untouched, as for
// a file without write access (0: writes again).
void FailWriteProfile(DWORD error);

// The system's message texts for FormatMessageA: a code without a text makes
// it fail with ERROR_MR_MID_NOT_FOUND (317). A few common codes have their
// English texts by default.
void SetSystemMessage(DWORD code, const std::string &text);

// Calls that only need to be seen.
const std::vector<DWORD> &Sleeps();
int InitCommonControlsCalls();
int LocalAllocations();  // texts handed out by FormatMessageA, not yet freed
}  // namespace w32fake
