// Version, directories, files, message texts and the small calls of our Win32
// layer.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <w32fake.h>

#include "handles.h"

namespace {
std::mutex mutex;
OSVERSIONINFOA version;
DWORD versionError;
std::string curDir, winDir, sysDir, moduleName, fileRoot;
DWORD moduleError;
DWORD writeProfileError;
std::vector<std::string> deleted;
std::map<DWORD, std::string> messages;
std::vector<DWORD> sleeps;
int commonControls;
int localAllocations;

void Defaults() {
  std::memset(&version, 0, sizeof version);
  version.dwMajorVersion = 4;
  version.dwMinorVersion = 0;
  version.dwBuildNumber = 1381;
  version.dwPlatformId = VER_PLATFORM_WIN32_NT;
  versionError = 0;
  curDir = "C:\\DIST";
  winDir = "C:\\WINDOWS";
  sysDir = "C:\\WINDOWS\\SYSTEM32";
  moduleName = "C:\\ROVAN\\service.exe";
  moduleError = 0;
  writeProfileError = 0;
  fileRoot.clear();
  deleted.clear();
  messages = {
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
      {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
      {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
      {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
      {ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service.\r\n"},
      {ERROR_SERVICE_EXISTS, "The specified service already exists.\r\n"},
      {ERROR_SERVICE_NOT_ACTIVE, "The service has not been started.\r\n"},
      {ERROR_SERVICE_MARKED_FOR_DELETE, "The specified service has been marked for deletion.\r\n"},
      {ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, "The service process could not connect to the service controller.\r\n"},
  };
  sleeps.clear();
  commonControls = 0;
}

struct Init {
  Init() { Defaults(); }
} init;

// The A functions that report a directory: the length without the NUL when it
// fits, else the size needed with the NUL and the buffer untouched.
DWORD CopyOut(const std::string &text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || text.size() + 1 > size) return (DWORD)text.size() + 1;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return (DWORD)text.size();
}

bool SameText(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
  return true;
}

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}
}  // namespace

namespace w32fake {
void SetVersion(DWORD platformId, DWORD major, DWORD minor) {
  std::lock_guard<std::mutex> lock(mutex);
  version.dwPlatformId = platformId;
  version.dwMajorVersion = major;
  version.dwMinorVersion = minor;
}
void FailGetVersion(DWORD error) { versionError = error; }
void SetCurrentDirectory(const std::string &dir) { curDir = dir; }
void SetWindowsDirectory(const std::string &dir) { winDir = dir; }
void SetSystemDirectory(const std::string &dir) { sysDir = dir; }
void SetModuleFileName(const std::string &path) { moduleName = path; }
void FailGetModuleFileName(DWORD error) { moduleError = error; }
void SetFileRoot(const std::string &hostFolder) { fileRoot = hostFolder; }
void FailWriteProfile(DWORD error) { writeProfileError = error; }
void SetSystemMessage(DWORD code, const std::string &text) {
  std::lock_guard<std::mutex> lock(mutex);
  messages[code] = text;
}
const std::vector<std::string> &DeletedFiles() { return deleted; }
const std::vector<DWORD> &Sleeps() { return sleeps; }
int InitCommonControlsCalls() { return commonControls; }
int LocalAllocations() { return localAllocations; }

std::string HostPath(const std::string &windowsPath) {
  std::string path = windowsPath;
  if (path.size() >= 2 && path[0] == '.' && path[1] == '\\')
    path = curDir + path.substr(1);
  else if (path.find('\\') == std::string::npos && path.find(':') == std::string::npos)
    path = winDir + "\\" + path;  // the profile calls look for a bare name in the Windows directory
  if (fileRoot.empty() || path.size() < 2 || path[1] != ':') return "";
  std::string host = fileRoot + "/" + (char)std::tolower((unsigned char)path[0]);
  for (size_t i = 2; i < path.size(); i++) host += path[i] == '\\' ? '/' : path[i];
  return host;
}

namespace detail {
void ResetMisc() {
  std::lock_guard<std::mutex> lock(mutex);
  Defaults();
}
}  // namespace detail
}  // namespace w32fake

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  W32_CALL;
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (versionError) {
    SetLastError(versionError);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(mutex);
  DWORD size = info->dwOSVersionInfoSize;
  *info = version;
  info->dwOSVersionInfoSize = size;
  return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) { W32_CALL; return CopyOut(curDir, buffer, size); }
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { W32_CALL; return CopyOut(winDir, buffer, size); }
UINT GetSystemDirectoryA(LPSTR buffer, UINT size) { W32_CALL; return CopyOut(sysDir, buffer, size); }

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  W32_CALL;
  (void)module;
  if (moduleError) {
    SetLastError(moduleError);
    return 0;
  }
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (moduleName.size() + 1 > size) {
    // Cut to the buffer and terminated, with the size returned, as from
    // Windows XP on.
    std::memcpy(buffer, moduleName.data(), size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, moduleName.c_str(), moduleName.size() + 1);
  return (DWORD)moduleName.size();
}

BOOL DeleteFileA(LPCSTR path) {
  W32_CALL;
  std::string host = w32fake::HostPath(path ? path : "");
  deleted.push_back(path ? path : "");
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (std::remove(host.c_str()) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  W32_CALL;
  if (section == nullptr && key == nullptr && value == nullptr) return FALSE;  // a flush
  std::string host = w32fake::HostPath(file ? file : "");
  if (host.empty() || section == nullptr) {
    SetLastError(host.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (writeProfileError) {
    SetLastError(writeProfileError);
    return FALSE;
  }
  std::vector<std::string> lines;
  {
    std::ifstream in(host, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
  }
  // Find the section and, within it, the key.
  size_t start = lines.size(), end = lines.size(), keyLine = lines.size();
  for (size_t i = 0; i < lines.size(); i++) {
    std::string t = Trim(lines[i]);
    if (!t.empty() && t[0] == '[') {
      if (start != lines.size()) {
        end = i;
        break;
      }
      size_t close = t.find(']');
      if (close != std::string::npos && SameText(Trim(t.substr(1, close - 1)), section)) start = i;
    } else if (start != lines.size() && key != nullptr && keyLine == lines.size()) {
      size_t eq = t.find('=');
      if (eq != std::string::npos && SameText(Trim(t.substr(0, eq)), key)) keyLine = i;
    }
  }
  if (start == lines.size()) {
    if (key == nullptr || value == nullptr) return TRUE;  // nothing to delete
    lines.push_back(std::string("[") + section + "]");
    lines.push_back(std::string(key) + "=" + value);
  } else if (key == nullptr) {
    lines.erase(lines.begin() + start, lines.begin() + end);
  } else if (keyLine != lines.size()) {
    if (value == nullptr)
      lines.erase(lines.begin() + keyLine);
    else
      lines[keyLine] = std::string(key) + "=" + value;
  } else if (value != nullptr) {
    size_t at = end;  // after the section's last non-blank line
    while (at > start + 1 && Trim(lines[at - 1]).empty()) at--;
    lines.insert(lines.begin() + at, std::string(key) + "=" + value);
  }
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  if (!out) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  for (auto &l : lines) out << l << "\r\n";
  return out.good() ? TRUE : FALSE;
}

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     va_list *arguments) {
  W32_CALL;
  (void)source;
  (void)languageId;
  (void)arguments;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = messages.find(messageId);
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || it == messages.end()) {
      SetLastError(317);  // ERROR_MR_MID_NOT_FOUND
      return 0;
    }
    text = it->second;
  }
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    size_t n = text.size() + 1 > size ? text.size() + 1 : size;
    char *mem = static_cast<char *>(std::malloc(n));
    std::memcpy(mem, text.c_str(), text.size() + 1);
    *reinterpret_cast<char **>(buffer) = mem;
    localAllocations++;
  } else {
    if (buffer == nullptr || text.size() + 1 > size) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
  }
  return (DWORD)text.size();
}

HLOCAL LocalFree(HLOCAL mem) {
  W32_CALL;
  if (mem != nullptr) {
    std::free(mem);
    localAllocations--;
  }
  return nullptr;
}

int lstrlenA(LPCSTR s) { W32_CALL; return s ? (int)std::strlen(s) : 0; }

void Sleep(DWORD ms) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  sleeps.push_back(ms);
}

void InitCommonControls(void) { W32_CALL; commonControls++; }
