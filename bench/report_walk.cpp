// The network binding report over a large Enum tree, against a bare walk of
// the same tree, built two ways: on the host with the installer's sources and
// our Win32 layer, and with mingw for Windows, where it runs under Wine on the
// real registry (the tree is made under HKLM\Enum and deleted afterwards).
//   report_walk [RUNS] [KEYS]
// The tree: 16 enumerators x D devices x I instances, about KEYS keys
// (default 10,000: 16 x 24 x 25), and 16 Bindings keys: the last instance of
// each enumerator's first device is a network adapter with two bindings, so
// the report stays well inside its buffers and the whole tree is walked.
// Prints the median milliseconds of GetConf and of the bare walk
// (RegOpenKeyExA and RegEnumKeyExA on every key, no value read) and their
// ratio.
#ifdef _WIN32
#include <windows.h>
#else
#include <w32fake.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "setup.h"

static int keys;

#ifdef _WIN32
static void AddKey(const std::string &path) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) == 0)
    RegCloseKey(key);
}
static void SetString(const std::string &path, const char *name, const std::string &text) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != 0) return;
  RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text.c_str(), (DWORD)text.size() + 1);
  RegCloseKey(key);
}
static void DropTree() {
  for (int e = 0; e < 16; e++) RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("Enum\\BUS" + std::to_string(e)).c_str());
}
#else
static void AddKey(const std::string &path) { w32fake::RegAddKey(path); }
static void SetString(const std::string &path, const char *name, const std::string &text) {
  w32fake::RegSetString(path, name, text);
}
static void DropTree() {}
#endif

static void MakeTree(int wanted) {
  int devices = wanted >= 5000 ? 24 : 6;
  int instances = (wanted - 16 - 16 * devices) / (16 * devices);
  if (instances < 1) instances = 1;
  for (int e = 0; e < 16; e++) {
    std::string enumerator = "Enum\\BUS" + std::to_string(e);
    AddKey(enumerator);
    keys++;
    for (int d = 0; d < devices; d++) {
      std::string device = enumerator + "\\DEV_" + std::to_string(d);
      AddKey(device);
      keys++;
      for (int i = 0; i < instances; i++) {
        char name[16];
        std::snprintf(name, sizeof name, "%04d", i);
        std::string instance = device + "\\" + name;
        bool adapter = d == 0 && i == instances - 1;
        SetString(instance, "Class", adapter ? "Net" : "System");
        SetString(instance, "DeviceDesc", "Device " + std::to_string(d));
        SetString(instance, "Driver", adapter ? "Net\\00" + std::to_string(10 + e) : "System\\0000");
        if (adapter) {
          SetString(instance + "\\Bindings", "MSTCP\\0000", "");
          SetString(instance + "\\Bindings", "NETBEUI\\0000", "");
          keys++;  // the Bindings key
        }
        keys++;
      }
    }
  }
}

static int BareWalk(HKEY parent, const char *name) {
  HKEY key;
  if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  int n = 1;
  char sub[1024];
  for (DWORD i = 0;; i++) {
    DWORD size = sizeof sub;
    if (RegEnumKeyExA(key, i, sub, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
    n += BareWalk(key, sub);
  }
  RegCloseKey(key);
  return n;
}

template <class F> static double Millis(F f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

int main(int argc, char **argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  MakeTree(argc > 2 ? std::atoi(argv[2]) : 10000);
  platform = 0;
  static char out[1024];
  std::vector<double> report, bare;
  int walked = 0;
  for (int r = 0; r < runs; r++) {
    report.push_back(Millis([] { GetConf(out, sizeof out); }));
    bare.push_back(Millis([&] { walked = BareWalk(HKEY_LOCAL_MACHINE, "Enum") - 1; }));
  }
  std::sort(report.begin(), report.end());
  std::sort(bare.begin(), bare.end());
  int lines = 0;
  for (const char *p = out; *p; p++) lines += *p == '\n';
  double a = report[runs / 2], b = bare[runs / 2];
  std::printf("tree below Enum: %d keys (bare walk counted %d); report: %d adapter lines\n", keys, walked,
              lines - 1);
  std::printf("median of %d runs: GetConf %.3f ms, bare walk %.3f ms, ratio %.2f\n", runs, a, b, a / b);
  DropTree();
#ifdef _WIN32
  return 0;
#else
  return w32fake::RegOpenKeyCount() == 0 ? 0 : 1;
#endif
}
