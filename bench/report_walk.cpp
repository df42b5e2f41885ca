// The network binding report over a large Enum tree, on the host build of the
// installer and our Win32 layer, against a bare walk of the same tree.
//   report_walk [RUNS]
// The tree: 16 enumerators x 24 devices x 25 instances, 10,000 keys, and 16
// Bindings keys: the last instance of each enumerator's first device is a
// network adapter with two bindings, so the report stays well inside its
// buffers and the whole tree is walked. Prints the median milliseconds of
// GetConf and of the bare walk (RegOpenKeyExA and RegEnumKeyExA on every key,
// no value read) and their ratio.
#include <w32fake.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "setup.h"

static int keys;

static void MakeTree() {
  for (int e = 0; e < 16; e++) {
    std::string enumerator = "Enum\\BUS" + std::to_string(e);
    w32fake::RegAddKey(enumerator);
    keys++;
    for (int d = 0; d < 24; d++) {
      std::string device = enumerator + "\\DEV_" + std::to_string(d);
      w32fake::RegAddKey(device);
      keys++;
      for (int i = 0; i < 25; i++) {
        char name[16];
        std::snprintf(name, sizeof name, "%04d", i);
        std::string instance = device + "\\" + name;
        bool adapter = d == 0 && i == 24;
        w32fake::RegSetString(instance, "Class", adapter ? "Net" : "System");
        w32fake::RegSetString(instance, "DeviceDesc", "Device " + std::to_string(d));
        w32fake::RegSetString(instance, "Driver", adapter ? "Net\\00" + std::to_string(10 + e) : "System\\0000");
        if (adapter) {
          w32fake::RegSetString(instance + "\\Bindings", "MSTCP\\0000", "");
          w32fake::RegSetString(instance + "\\Bindings", "NETBEUI\\0000", "");
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
  MakeTree();
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
  return w32fake::RegOpenKeyCount() == 0 ? 0 : 1;
}
