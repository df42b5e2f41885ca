// The network binding report: the TCP/IP bindings on Windows NT, the network
// adapters of the Enum tree on the Windows 95 family, one item a line, each
// line ended by a lone line feed. The registry is only read.
#include <string.h>

#include "setup.h"

namespace {

// The Bind list is read with this data size, whatever the buffer holds.
const DWORD kBindSize = 128;
// Every value and binding name is read with this size: 127 characters and the
// NUL; a longer one fails with ERROR_MORE_DATA and counts as absent.
const DWORD kValueSize = 128;
const DWORD kWorkSize = 4096;
const DWORD kNameSize = 1024;

// FindNet95's status when the next line does not fit the report. No registry
// call answers with it (they say ERROR_MORE_DATA), so it tells a full report
// from a broken tree.
const LONG kReportFull = ERROR_INSUFFICIENT_BUFFER;

DWORD BoundedLength(const char *text, DWORD size) {
  DWORD n = 0;
  while (n < size && text[n] != 0) n++;
  return n;
}

// Appends the whole piece or nothing; returns 1 when it was appended.
int Append(char *text, DWORD size, const char *piece) {
  DWORD used = BoundedLength(text, size);
  DWORD add = (DWORD)strlen(piece);
  if (used >= size || add >= size - used) return 0;
  memcpy(text + used, piece, add + 1);
  return 1;
}

// Reads a value as text into a buffer of kValueSize + 1 bytes. Data stored
// without a terminator is taken only up to the bytes delivered; the byte
// beyond the read size is there so that it can always be closed.
LONG ReadText(HKEY key, const char *name, char *value) {
  DWORD size = kValueSize;
  LONG status = RegQueryValueExA(key, name, NULL, NULL, (LPBYTE)value, &size);
  if (status != ERROR_SUCCESS) return status;
  value[size < kValueSize ? size : kValueSize] = 0;
  return ERROR_SUCCESS;
}

// The report line of one key, when it is a Net-class key with a description.
// Returns 0, or kReportFull with the report as it was when the line does not
// fit: a report ends at its last whole line.
LONG NetLine(HKEY key, char *report, DWORD reportSize) {
  char value[kValueSize + 1];
  if (ReadText(key, "Class", value) != ERROR_SUCCESS || strcmp(value, "Net") != 0) return 0;
  if (ReadText(key, "DeviceDesc", value) != ERROR_SUCCESS) return 0;
  DWORD mark = BoundedLength(report, reportSize);
  if (mark >= reportSize) return kReportFull;
  int fits = Append(report, reportSize, value) && Append(report, reportSize, "\\");
  // A key without a readable "Driver" ends its line after the backslash, so
  // that the next adapter does not run on into it.
  if (fits && ReadText(key, "Driver", value) == ERROR_SUCCESS) {
    fits = Append(report, reportSize, value);
    HKEY bindings;
    if (fits && RegOpenKeyExA(key, "Bindings", 0, KEY_READ, &bindings) == ERROR_SUCCESS) {
      for (DWORD index = 0; fits; index++) {
        DWORD size = kValueSize;
        LONG status = RegEnumValueA(bindings, index, value, &size, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS) {
          if (index == 0) fits = Append(report, reportSize, "[empty]");
          break;
        }
        // A name that could not be delivered (one too long, say) leaves the
        // buffer undefined: nothing is appended for it.
        if (status != ERROR_SUCCESS) continue;
        fits = Append(report, reportSize, "[") && Append(report, reportSize, value) &&
               Append(report, reportSize, "]");
      }
      RegCloseKey(bindings);
    }
  }
  if (fits) fits = Append(report, reportSize, "\n");
  if (fits) return 0;
  report[mark] = 0;
  return kReportFull;
}

}  // namespace

int GetConf(char *out, DWORD outSize) {
  if (out == NULL || outSize == 0) return 0;
  out[0] = 0;
  char work[kWorkSize];
  if (platform) {
    DWORD delivered = 0;
    GetTcpipLinkageNT(work, &delivered);
    // Only the bytes the query delivered are walked, so a list stored
    // without its closing NULs ends with the data.
    DWORD pos = 0, used = 0;
    while (pos < delivered && work[pos] != 0) {
      DWORD len = BoundedLength(work + pos, delivered - pos);
      if (used + len + 2 > outSize) break;  // the line, its "\n" and the NUL
      memcpy(out + used, work + pos, len);
      out[used + len] = '\n';
      used += len + 1;
      out[used] = 0;
      pos += len + 1;
    }
  } else {
    GetNamesAndNetKeys(work, sizeof work);
    // Whole lines only, with room left for the closing "\n" and the NUL.
    DWORD len = BoundedLength(work, sizeof work);
    if (outSize < 2) return 0;
    while (len > 0 && (len + 2 > outSize || work[len - 1] != '\n')) len--;
    memcpy(out, work, len);
    out[len] = '\n';
    out[len + 1] = 0;
  }
  return 0;
}

LONG GetTcpipLinkageNT(char *list, DWORD *delivered) {
  static const char *const path[5] = {"SYSTEM", "CurrentControlSet", "Services", "Tcpip", "Linkage"};
  DWORD size = kBindSize;
  list[0] = 0;
  list[1] = 0;
  if (delivered) *delivered = 0;
  HKEY keys[5];
  int opened = 0;
  LONG status = ERROR_SUCCESS;
  HKEY parent = HKEY_LOCAL_MACHINE;
  for (int i = 0; i < 5; i++) {
    status = RegOpenKeyExA(parent, path[i], 0, KEY_READ, &keys[opened]);
    if (status != ERROR_SUCCESS) break;
    parent = keys[opened++];
  }
  if (status == ERROR_SUCCESS) {
    status = RegQueryValueExA(keys[4], "Bind", NULL, NULL, (LPBYTE)list, &size);
    if (status == ERROR_SUCCESS) {
      if (delivered) *delivered = size < kBindSize ? size : kBindSize;
    } else {
      // A failed read may have left anything in the buffer.
      list[0] = 0;
      list[1] = 0;
    }
  }
  while (opened > 0) RegCloseKey(keys[--opened]);
  return status;
}

int GetNamesAndNetKeys(char *out, DWORD outSize) {
  if (out == NULL || outSize == 0) return 0;
  out[0] = 0;
  HKEY enumKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, KEY_READ, &enumKey) != ERROR_SUCCESS) return 0;
  char name[kNameSize];
  for (DWORD index = 0;; index++) {
    name[0] = 0;
    Enum95(name, sizeof name, index);
    if (name[0] == 0) break;
    // A walk that broke off in one enumerator's tree does not keep the next
    // from being walked; a full report does, as its lines would come out of
    // order.
    if (FindNet95(enumKey, name, out, outSize) == kReportFull) break;
  }
  RegCloseKey(enumKey);
  return 0;
}

LONG Enum95(char *name, DWORD nameSize, DWORD index) {
  HKEY enumKey;
  LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, KEY_READ, &enumKey);
  if (status != ERROR_SUCCESS) return status;
  char one[kValueSize];
  DWORD size = kValueSize;
  // Only a name that was delivered is appended: any failure, not only the
  // end of the list, leaves the buffer undefined.
  if (RegEnumKeyExA(enumKey, index, one, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS)
    Append(name, nameSize, one);
  RegCloseKey(enumKey);
  return ERROR_SUCCESS;
}

LONG FindNet95(HKEY parent, const char *name, char *report, DWORD reportSize) {
  if (name == NULL || name[0] == 0) return ERROR_BADKEY;
  HKEY key;
  LONG status = RegOpenKeyExA(parent, name, 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return status;
  status = NetLine(key, report, reportSize);
  char subkey[kNameSize];
  for (DWORD index = 0; status == ERROR_SUCCESS; index++) {
    DWORD size = kNameSize;
    status = RegEnumKeyExA(key, index, subkey, &size, NULL, NULL, NULL, NULL);
    if (status == ERROR_NO_MORE_ITEMS) {
      status = ERROR_SUCCESS;
      break;
    }
    if (status == ERROR_SUCCESS) status = FindNet95(key, subkey, report, reportSize);
  }
  RegCloseKey(key);
  return status;
}
