// The registry of our Win32 layer: a tree below HKEY_LOCAL_MACHINE that the
// tests fill, with failures that can be planted at any key or value.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>
#include <w32fake.h>

#include "handles.h"

namespace {

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::string bytes;
  LONG failQuery = 0;
};

struct Key {
  std::string name;
  std::vector<std::unique_ptr<Key>> subkeys;
  std::vector<Value> values;
  LONG failOpen = 0;
  std::map<DWORD, LONG> failEnum;
};

std::recursive_mutex mutex;
std::unique_ptr<Key> root;
std::map<uintptr_t, Key *> openKeys;
uintptr_t nextKey = 0x1000;
int openCalls = 0;
REGSAM lastAccess = 0;

bool SameName(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
  return true;
}

std::vector<std::string> Split(const std::string &path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

Key *Child(Key *key, const std::string &name) {
  for (auto &k : key->subkeys)
    if (SameName(k->name, name)) return k.get();
  return nullptr;
}

Key *Root() {
  if (!root) root.reset(new Key{"HKEY_LOCAL_MACHINE", {}, {}, 0, {}});
  return root.get();
}

Key *MakeKey(const std::string &path) {
  Key *key = Root();
  for (auto &part : Split(path)) {
    Key *child = Child(key, part);
    if (!child) {
      key->subkeys.emplace_back(new Key{part, {}, {}, 0, {}});
      child = key->subkeys.back().get();
    }
    key = child;
  }
  return key;
}

Value *FindValue(Key *key, const char *name) {
  std::string wanted = name ? name : "";
  for (auto &v : key->values)
    if (SameName(v.name, wanted)) return &v;
  return nullptr;
}

Value &MakeValue(const std::string &path, const std::string &name) {
  Key *key = MakeKey(path);
  if (Value *v = FindValue(key, name.c_str())) return *v;
  key->values.push_back(Value{name, REG_NONE, "", 0});
  return key->values.back();
}

Key *Resolve(HKEY hkey) {
  if (hkey == HKEY_LOCAL_MACHINE) return Root();
  auto it = openKeys.find(reinterpret_cast<uintptr_t>(hkey));
  return it == openKeys.end() ? nullptr : it->second;
}

// What Windows leaves in a buffer it could not fill: nothing to rely on.
void Scribble(void *buffer, size_t size) {
  if (buffer && size) std::memset(buffer, 0xCD, size);
}

}  // namespace

namespace w32fake {

void RegAddKey(const std::string &path) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  MakeKey(path);
}

void RegSetValue(const std::string &path, const std::string &name, DWORD type, const std::string &bytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  Value &v = MakeValue(path, name);
  v.type = type;
  v.bytes = bytes;
}

void RegSetString(const std::string &path, const std::string &name, const std::string &text) {
  RegSetValue(path, name, REG_SZ, text + std::string(1, '\0'));
}

void RegSetMultiString(const std::string &path, const std::initializer_list<std::string> &items) {
  std::string bytes;
  for (auto &item : items) bytes += item + std::string(1, '\0');
  bytes += std::string(1, '\0');
  RegSetValue(path, "Bind", REG_MULTI_SZ, bytes);
}

void RegFailOpen(const std::string &path, LONG status) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  MakeKey(path)->failOpen = status;
}

void RegFailEnumKey(const std::string &path, DWORD index, LONG status) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  MakeKey(path)->failEnum[index] = status;
}

void RegFailQuery(const std::string &path, const std::string &name, LONG status) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  MakeValue(path, name).failQuery = status;
}

int RegOpenKeyCount() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  return (int)openKeys.size();
}

int RegOpenCalls() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  return openCalls;
}

REGSAM RegLastAccess() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  return lastAccess;
}

namespace detail {
void ResetRegistry() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  root.reset();
  openKeys.clear();
  openCalls = 0;
  lastAccess = 0;
}
}  // namespace detail
}  // namespace w32fake

LONG RegOpenKeyExA(HKEY hkey, LPCSTR subKey, DWORD options, REGSAM sam, PHKEY result) {
  W32_CALL;
  std::lock_guard<std::recursive_mutex> lock(mutex);
  openCalls++;
  lastAccess = sam;
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  (void)options;
  Key *key = Resolve(hkey);
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (subKey != nullptr) {
    for (auto &part : Split(subKey)) {
      key = Child(key, part);
      if (key == nullptr) return ERROR_FILE_NOT_FOUND;
      if (key->failOpen) return key->failOpen;
    }
  }
  nextKey += 4;
  openKeys[nextKey] = key;
  *result = reinterpret_cast<HKEY>(nextKey);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hkey) {
  W32_CALL;
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (hkey == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return openKeys.erase(reinterpret_cast<uintptr_t>(hkey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExA(HKEY hkey, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  W32_CALL;
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  Key *key = Resolve(hkey);
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  Value *v = FindValue(key, valueName);
  if (v == nullptr) return ERROR_FILE_NOT_FOUND;
  if (v->failQuery) return v->failQuery;
  if (type) *type = v->type;
  DWORD size = (DWORD)v->bytes.size();
  if (data == nullptr) {
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
  }
  if (*dataSize < size) {
    Scribble(data, *dataSize);
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  // The data as stored: a string written without its terminator comes back
  // without one, as it does on Windows.
  std::memcpy(data, v->bytes.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

namespace {
// Both enumerations hand out a name the same way: its length without the NUL
// goes back in *size; a name that does not fit leaves the buffer undefined.
LONG DeliverName(const std::string &name, LPSTR buffer, LPDWORD size) {
  if (buffer == nullptr || size == nullptr) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 > *size) {
    Scribble(buffer, *size);
    return ERROR_MORE_DATA;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = (DWORD)name.size();
  return ERROR_SUCCESS;
}
}  // namespace

LONG RegEnumKeyExA(HKEY hkey, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR className,
                   LPDWORD classSize, PFILETIME lastWriteTime) {
  W32_CALL;
  std::lock_guard<std::recursive_mutex> lock(mutex);
  (void)className;
  (void)classSize;
  (void)lastWriteTime;
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  Key *key = Resolve(hkey);
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  auto fail = key->failEnum.find(index);
  if (fail != key->failEnum.end()) return fail->second;
  if (index >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  return DeliverName(key->subkeys[index]->name, name, nameSize);
}

LONG RegEnumValueA(HKEY hkey, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD dataSize) {
  W32_CALL;
  std::lock_guard<std::recursive_mutex> lock(mutex);
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  Key *key = Resolve(hkey);
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (index >= key->values.size()) return ERROR_NO_MORE_ITEMS;
  const Value &v = key->values[index];
  LONG status = DeliverName(v.name, name, nameSize);
  if (status != ERROR_SUCCESS) return status;
  if (type) *type = v.type;
  if (data != nullptr || dataSize != nullptr) {
    DWORD size = (DWORD)v.bytes.size();
    if (data != nullptr && dataSize != nullptr) {
      if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
      }
      std::memcpy(data, v.bytes.data(), size);
    }
    if (dataSize) *dataSize = size;
  }
  return ERROR_SUCCESS;
}
