// The kernel's command line and working directory from everything that feeds
// them: the argument vector, the debug flag, and ImagePath and AppParameters
// as registry values of any type, length and termination, behind keys that
// may fail to open and values that may fail to read.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>
#include <w32fake.h>

#include "fuzz_input.h"
#include "service.h"

namespace {

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\ROVAN";
const char kParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\ROVAN\\Parameters";
const char *const kPathKeys[] = {"SYSTEM", "SYSTEM\\CurrentControlSet", "SYSTEM\\CurrentControlSet\\Services",
                                 kServiceKey, kParametersKey};
const DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_NONE};
const LONG kFailures[] = {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA, ERROR_INVALID_HANDLE};

struct StoredValue {
  bool present;
  DWORD type;
  std::string bytes;
  bool failing;
};

// One registry value as the fuzzer sets it: absent, or a type and bytes.
StoredValue TakeValue(FuzzInput *in, const char *key, const char *name) {
  StoredValue v{false, REG_NONE, "", false};
  unsigned how = TakeByte(in);
  v.bytes = TakeBytes(in, 1100);
  if (how & 1) return v;
  v.present = true;
  v.type = (how & 0x80) ? (DWORD)TakeByte(in) : kTypes[(how >> 1) % 6];
  w32fake::RegSetValue(key, name, v.type, v.bytes);
  if (how & 0x40) {
    v.failing = true;
    w32fake::RegFailQuery(key, name, kFailures[(how >> 4) & 3]);
  }
  return v;
}

// Whatever the reader makes of a value, it is all of its text or nothing:
// never a cut or a piece from beyond the data. A string that fits the buffer
// with its terminator must come through.
void CheckRead(const char *buf, bool reachable, const StoredValue &v) {
  const void *nul = memchr(buf, 0, KERNEL_BUF);
  FUZZ_CHECK(nul != NULL);
  std::string got(buf);
  std::string whole = v.bytes.substr(0, v.bytes.find('\0'));
  FUZZ_CHECK(got.empty() || got == whole);
  bool plain = reachable && v.present && !v.failing && (v.type == REG_SZ || v.type == REG_EXPAND_SZ) &&
               !v.bytes.empty() && v.bytes.size() <= KERNEL_BUF && v.bytes.back() == '\0';
  if (plain) FUZZ_CHECK(got == whole);
}

// The working directory: the path inside its quotes when it is quoted, then
// everything before its last backslash, or the whole path without one.
std::string ExpectedDirectory(std::string path) {
  if (!path.empty() && path[0] == '"') {
    size_t close = path.find('"', 1);
    if (close != std::string::npos) path = path.substr(1, close - 1);
  }
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(0, slash);
}

char *Copy(const std::string &text) {
  char *p = static_cast<char *>(malloc(text.size() + 1));
  memcpy(p, text.c_str(), text.size() + 1);
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in{data, size};
  w32fake::Reset();

  unsigned flags = TakeByte(&in);
  BOOL debug = flags & 1;
  if (flags & 2) w32fake::RegAddKey(kParametersKey);
  StoredValue image = TakeValue(&in, kServiceKey, "ImagePath");
  StoredValue params = TakeValue(&in, kParametersKey, "AppParameters");
  // One key of the path may refuse to open; an ImagePath behind it reads as
  // absent, and so does AppParameters behind it or behind Parameters.
  int failKey = -1;
  if (flags & 4) {
    failKey = (int)((flags >> 3) % 5);
    w32fake::RegFailOpen(kPathKeys[failKey], kFailures[(flags >> 6) & 1]);
  }
  bool serviceKeyExists = image.present || params.present || (flags & 2) || failKey >= 3;
  bool imageReachable = serviceKeyExists && (failKey < 0 || failKey > 3);
  bool paramsReachable = serviceKeyExists && (params.present || (flags & 2) || failKey == 4) && failKey < 0;

  // Readers get buffers of exactly the size they are promised.
  char *dirBuf = static_cast<char *>(malloc(KERNEL_BUF));
  char *paramBuf = static_cast<char *>(malloc(KERNEL_BUF));
  GetImagePath(dirBuf);
  FUZZ_CHECK(w32fake::RegOpenKeyCount() == 0);
  CheckRead(dirBuf, imageReachable, image);
  GetServiceParams(paramBuf);
  FUZZ_CHECK(w32fake::RegOpenKeyCount() == 0);
  CheckRead(paramBuf, paramsReachable, params);

  std::string imageText(dirBuf);
  char *dirExact = Copy(imageText);
  KernelDirectory(dirExact);
  FUZZ_CHECK(ExpectedDirectory(imageText) == dirExact);

  DWORD cmdSize = TakeWord(&in) % 1200;
  DWORD count = TakeByte(&in) % 8;
  std::vector<char *> args;
  for (DWORD i = 0; i < count; i++) {
    std::string arg = TakeBytes(&in, 1100);
    args.push_back(Copy(arg.substr(0, arg.find('\0'))));
  }

  std::string want = KERNEL_PREFIX;
  if (count == 1) {
    want += paramBuf[0] ? paramBuf : "1";
  } else {
    for (DWORD i = debug ? 2 : 1; i < count; i++) (want += args[i]) += " ";
  }
  char *cmd = ExactBuffer(cmdSize);
  int refused = KernelCommandLine(cmd, cmdSize, count, args.data(), debug, paramBuf);
  // The whole line or none: a kernel must never run with cut parameters.
  if (want.size() + 1 <= cmdSize) {
    FUZZ_CHECK(refused == 0);
    FUZZ_CHECK(want == cmd);
  } else {
    FUZZ_CHECK(refused != 0);
    if (cmdSize > 0) FUZZ_CHECK(cmd[0] == 0);
  }

  FreeExact(cmd, cmdSize);
  for (char *arg : args) free(arg);
  free(dirExact);
  free(paramBuf);
  free(dirBuf);
  return 0;
}
