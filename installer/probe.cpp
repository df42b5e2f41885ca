// Is the QUIBEX packet driver installed? Each probe opens its registry path one
// key at a time and answers from whether the last key opened; no value is
// read. Every key opened is closed again, innermost first, on every path.
#include "setup.h"

namespace {

// Opens the components below HKEY_LOCAL_MACHINE one under the other and stops
// at the first that fails. Returns 0 when all opened, else that open's status.
LONG OpenPathAndClose(const char *const *components, int count) {
  HKEY keys[4];
  int opened = 0;
  LONG status = ERROR_SUCCESS;
  HKEY parent = HKEY_LOCAL_MACHINE;
  for (int i = 0; i < count && i < 4; i++) {
    status = RegOpenKeyExA(parent, components[i], 0, KEY_READ, &keys[opened]);
    if (status != ERROR_SUCCESS) break;
    parent = keys[opened++];
  }
  while (opened > 0) RegCloseKey(keys[--opened]);
  return status;
}

}  // namespace

LONG CheckQuibex(void) {
  static const char *const path[4] = {"SYSTEM", "CurrentControlSet", "Services", "Quibex"};
  return OpenPathAndClose(path, 4);
}

int CheckQuibex95(const char *name) {
  // An empty name would open "Network" itself again and ask for its "0000":
  // no driver can be named so, so it counts as absent.
  if (name == nullptr || name[0] == 0) return 0;
  const char *const path[4] = {"Enum", "Network", name, "0000"};
  return OpenPathAndClose(path, 4) == ERROR_SUCCESS ? 1 : 0;
}
