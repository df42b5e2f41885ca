// The network binding report over registry trees made from the fuzzer's
// bytes: names and values of any length, with and without terminators, of any
// type, trees of any depth, and keys that fail to open, enumerate or read.
// Neither the caller's buffer nor the report's own may be overrun, every key
// opened is closed, and the report holds only whole lines.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>
#include <w32fake.h>

#include "fuzz_input.h"
#include "setup.h"

namespace {

const char kLinkage[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Linkage";
const char *const kValueNames[] = {"Class", "DeviceDesc", "Driver", "Bind"};
const DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_NONE};
const LONG kFailures[] = {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA,
                          ERROR_INVALID_HANDLE, ERROR_BADKEY, ERROR_NO_MORE_ITEMS};
// Enough for trees far deeper than a real Enum, and bounded so that one run
// stays quick.
const size_t kMaxKeys = 300;

// A key name as the registry allows it: no backslash (it would be a path)
// and no NUL.
std::string KeyName(std::string name) {
  for (char &c : name)
    if (c == '\\' || c == 0) c = '_';
  return name;
}

std::string ValueName(FuzzInput *in) {
  unsigned pick = TakeByte(in);
  if (pick < 200) return kValueNames[pick % 4];
  std::string name = TakeBytes(in, 300);
  return name.substr(0, name.find('\0'));
}

std::string ValueData(FuzzInput *in) {
  unsigned pick = TakeByte(in);
  if (pick < 64) return std::string("Net\0", 4);
  return TakeBytes(in, 1100);
}

// Builds the tree. Every key made is remembered, so that later steps can go
// below any of them: chains of steps make deep trees.
void BuildTree(FuzzInput *in) {
  std::vector<std::string> keys = {"Enum", kLinkage};
  w32fake::RegAddKey("Enum");
  while (in->size > 0) {
    unsigned op = TakeByte(in);
    const std::string &at = keys[TakeByte(in) % keys.size()];
    switch (op % 7) {
      case 0:
      case 1: {
        std::string name = KeyName(TakeBytes(in, 1100));
        if (name.empty() || keys.size() >= kMaxKeys) break;
        std::string path = at + "\\" + name;
        w32fake::RegAddKey(path);
        keys.push_back(path);
        break;
      }
      case 2: {
        std::string name = ValueName(in);
        unsigned type = TakeByte(in);
        std::string bytes = ValueData(in);
        w32fake::RegSetValue(at, name, type < 240 ? kTypes[type % 6] : type, bytes);
        break;
      }
      case 3: {  // a binding, by its name only
        std::string name = TakeBytes(in, 300);
        w32fake::RegSetValue(at + "\\Bindings", name.substr(0, name.find('\0')), REG_SZ, std::string(1, '\0'));
        break;
      }
      case 4:
        w32fake::RegFailOpen(at, kFailures[TakeByte(in) % 6]);
        break;
      case 5: {
        unsigned index = TakeByte(in) % 4;
        w32fake::RegFailEnumKey(at, index, kFailures[TakeByte(in) % 6]);
        break;
      }
      case 6: {
        std::string name = ValueName(in);
        w32fake::RegFailQuery(at, name, kFailures[TakeByte(in) % 6]);
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in{data, size};
  w32fake::Reset();
  unsigned head = TakeByte(&in);
  platform = head & 1;
  DWORD outSize = TakeWord(&in) % 1100;
  BuildTree(&in);

  // The report with room to spare: what any smaller buffer must be a part of.
  const DWORD fullSize = 4096 + 2;
  char *full = static_cast<char *>(malloc(fullSize));
  FUZZ_CHECK(GetConf(full, fullSize) == 0);
  FUZZ_CHECK(w32fake::RegOpenKeyCount() == 0);
  FUZZ_CHECK(memchr(full, 0, fullSize) != NULL);
  std::string whole(full);
  free(full);

  // The caller's buffer, exactly as large as it says.
  char *out = ExactBuffer(outSize);
  FUZZ_CHECK(GetConf(out, outSize) == 0);
  FUZZ_CHECK(w32fake::RegOpenKeyCount() == 0);
  if (outSize > 0) {
    FUZZ_CHECK(memchr(out, 0, outSize) != NULL);
    std::string got(out);
    // Only whole lines, and only lines of the full report, in its order.
    FUZZ_CHECK(got.empty() || got.back() == '\n');
    if (platform) {
      FUZZ_CHECK(whole.compare(0, got.size(), got) == 0);
    } else if (outSize >= 2) {
      // The Windows 95 report always closes with an empty line.
      FUZZ_CHECK(got.size() >= 1 && whole.size() >= 1);
      FUZZ_CHECK(whole.compare(0, got.size() - 1, got, 0, got.size() - 1) == 0);
      FUZZ_CHECK(got.size() == 1 || got[got.size() - 2] == '\n');
    }
    // A report that fits is never shortened. (Where a shortened one ends is
    // not checked line by line: a value may hold line feeds of its own.)
    if (whole.size() + 1 <= outSize) FUZZ_CHECK(got == whole);
  }
  FreeExact(out, outSize);
  return 0;
}
