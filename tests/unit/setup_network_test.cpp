// The packet driver probes and the network binding report, against registry
// trees of our Win32 layer. Every test ends with no key left open.
#include <gtest/gtest.h>
#include <w32fake.h>

#include <cstring>
#include <string>

#include "setup.h"

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    w32fake::Reset();
    platform = 0;
  }
  void TearDown() override { EXPECT_EQ(0, w32fake::RegOpenKeyCount()) << "a key was left open"; }
};

using Probe = Registry;
using Report = Registry;

// --- CheckQuibex, CheckQuibex95 ---------------------------------------------

struct ProbeCase {
  const char *what;
  void (*tree)();
  LONG nt;      // CheckQuibex()
  int opensNt;  // RegOpenKeyExA calls it makes
};

const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";

const ProbeCase kNtCases[] = {
    {"service key present but empty", [] { w32fake::RegAddKey("SYSTEM\\CurrentControlSet\\Services\\Quibex"); },
     ERROR_SUCCESS, 4},
    {"no Quibex key gives 2, not 1", [] { w32fake::RegAddKey(kServices); }, ERROR_FILE_NOT_FOUND, 4},
    {"empty registry stops at SYSTEM", [] {}, ERROR_FILE_NOT_FOUND, 1},
    {"a denied key passes its status up",
     [] {
       w32fake::RegAddKey("SYSTEM\\CurrentControlSet\\Services\\Quibex");
       w32fake::RegFailOpen("SYSTEM\\CurrentControlSet", ERROR_ACCESS_DENIED);
     },
     ERROR_ACCESS_DENIED, 2},
};

TEST_F(Probe, CheckQuibexAnswersWithTheStatusOfTheLastOpen) {
  for (const ProbeCase &c : kNtCases) {
    SCOPED_TRACE(c.what);
    w32fake::Reset();
    c.tree();
    EXPECT_EQ(c.nt, CheckQuibex());
    EXPECT_EQ(c.opensNt, w32fake::RegOpenCalls());
    EXPECT_EQ((REGSAM)KEY_READ, w32fake::RegLastAccess());
    EXPECT_EQ(0, w32fake::RegOpenKeyCount());
  }
}

TEST_F(Probe, CheckQuibex95WantsInstance0000OfTheNamedDriver) {
  struct {
    const char *what;
    const char *keys[2];  // made below HKEY_LOCAL_MACHINE
    int present;
  } cases[] = {
      {"instance 0000", {"Enum\\Network\\QBXTAP\\0000", "Enum\\Network\\QBXTAP\\0001"}, 1},
      {"other instances only", {"Enum\\Network\\QBXTAP\\0001", "Enum\\Network\\QBXTAP\\0002"}, 0},
      {"driver key without instances", {"Enum\\Network\\QBXTAP", "Enum\\Network\\OTHER\\0000"}, 0},
      {"no Enum at all", {"Software", "System"}, 0},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.what);
    w32fake::Reset();
    for (const char *key : c.keys) w32fake::RegAddKey(key);
    EXPECT_EQ(c.present, CheckQuibex95("QBXTAP"));
    EXPECT_EQ(0, w32fake::RegOpenKeyCount());
  }
}

TEST_F(Probe, CheckQuibex95GivesNoStatusAndOpensNothingForAnEmptyName) {
  w32fake::RegAddKey("Enum\\Network\\QBXTAP\\0000");
  w32fake::RegFailOpen("Enum\\Network\\QBXTAP\\0000", ERROR_ACCESS_DENIED);
  EXPECT_EQ(0, CheckQuibex95("QBXTAP"));  // 0, not the status 5
  int before = w32fake::RegOpenCalls();
  w32fake::RegAddKey("Enum\\Network\\0000");
  EXPECT_EQ(0, CheckQuibex95(""));
  EXPECT_EQ(before, w32fake::RegOpenCalls());
}

// --- Windows NT report ------------------------------------------------------

const char kLinkage[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Linkage";

std::string Conf(DWORD size = 1024) {
  static char out[1024];
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(0, GetConf(out, size));
  return out;
}

TEST_F(Report, NtListsTheBindEntriesInStoredOrder) {
  platform = 1;
  w32fake::RegSetMultiString(kLinkage, {"\\Device\\QuibexTap", "\\Device\\NE20001"});
  EXPECT_EQ("\\Device\\QuibexTap\n\\Device\\NE20001\n", Conf());
}

TEST_F(Report, NtReportIsEmptyWhenTheListCannotBeHadWhole) {
  platform = 1;
  struct {
    const char *what;
    void (*tree)();
  } cases[] = {
      {"empty list", [] { w32fake::RegSetMultiString(kLinkage, {}); }},
      {"no Linkage key", [] { w32fake::RegAddKey("SYSTEM\\CurrentControlSet\\Services\\Tcpip"); }},
      {"no Bind value", [] { w32fake::RegAddKey(kLinkage); }},
      // 129 bytes with the NULs: ERROR_MORE_DATA, never a shortened list.
      {"list over 128 bytes", [] { w32fake::RegSetMultiString(kLinkage, {std::string(60, 'a'), std::string(66, 'b')}); }},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.what);
    w32fake::Reset();
    c.tree();
    EXPECT_EQ("", Conf());
  }
  w32fake::Reset();
  w32fake::RegSetMultiString(kLinkage, {std::string(60, 'a'), std::string(65, 'b')});  // 128 bytes
  EXPECT_EQ(std::string(60, 'a') + "\n" + std::string(65, 'b') + "\n", Conf());
}

TEST_F(Report, NtListWithoutTerminatorsEndsWithTheDeliveredBytes) {
  platform = 1;
  w32fake::RegSetValue(kLinkage, "Bind", REG_MULTI_SZ, std::string("one\0two", 7));
  EXPECT_EQ("one\ntwo\n", Conf());
  char list[128];
  DWORD delivered = 99;
  EXPECT_EQ(ERROR_SUCCESS, GetTcpipLinkageNT(list, &delivered));
  EXPECT_EQ(7u, delivered);
}

TEST_F(Report, NtReportStopsAtTheLastWholeLineThatFits) {
  platform = 1;
  w32fake::RegSetMultiString(kLinkage, {"abc", "de"});
  EXPECT_EQ("abc\n", Conf(7));  // "abc\nde\n" needs 8 with its NUL
  EXPECT_EQ("abc\nde\n", Conf(8));
}

// --- Windows 95 report ------------------------------------------------------

void Adapter(const std::string &path, const std::string &desc, const std::string &driver) {
  w32fake::RegSetString(path, "Class", "Net");
  w32fake::RegSetString(path, "DeviceDesc", desc);
  w32fake::RegSetString(path, "Driver", driver);
}

TEST_F(Report, Win95WalksEnumeratorsInOrderDepthFirstParentsFirst) {
  Adapter("Enum\\Root\\Net\\0000", "Outer", "Net\\0000");
  Adapter("Enum\\Root\\Net\\0000\\Inner", "Inner", "Net\\0001");
  w32fake::RegSetString("Enum\\Root\\Other", "Class", "net");  // wrong case: no line, but walked
  Adapter("Enum\\Root\\Other\\Child", "Child", "Net\\0002");
  w32fake::RegSetString("Enum\\Root\\Longer", "Class", "Network");
  w32fake::RegSetString("Enum\\Root\\Longer", "DeviceDesc", "not an adapter");
  w32fake::RegSetString("Enum\\Root\\Longer", "Driver", "x");
  w32fake::RegSetString("Enum\\Root\\NoDesc", "Class", "Net");
  w32fake::RegSetString("Enum\\Root\\NoDesc", "Driver", "Net\\0009");
  Adapter("Enum\\PCI\\Card", "Card", "Net\\0003");
  EXPECT_EQ("Outer\\Net\\0000\nInner\\Net\\0001\nChild\\Net\\0002\nCard\\Net\\0003\n\n", Conf());
}

TEST_F(Report, Win95LineEndsByBindingsAndDriver) {
  struct {
    const char *what;
    void (*extra)(const std::string &key);
    const char *line;
  } cases[] = {
      {"no Bindings key", [](const std::string &) {}, "Card\\Net\\0000\n"},
      {"empty Bindings", [](const std::string &k) { w32fake::RegAddKey(k + "\\Bindings"); }, "Card\\Net\\0000[empty]\n"},
      {"two bindings, names only",
       [](const std::string &k) {
         w32fake::RegSetString(k + "\\Bindings", "MSTCP\\0000", "data is never shown");
         w32fake::RegSetString(k + "\\Bindings", "NETBEUI\\0001", "");
       },
       "Card\\Net\\0000[MSTCP\\0000][NETBEUI\\0001]\n"},
      {"a binding name of 128 characters is left out",
       [](const std::string &k) {
         w32fake::RegSetString(k + "\\Bindings", std::string(128, 'L'), "");
         w32fake::RegSetString(k + "\\Bindings", "MSTCP\\0000", "");
       },
       "Card\\Net\\0000[MSTCP\\0000]\n"},
      {"unreadable Driver ends the line after the backslash",
       [](const std::string &k) { w32fake::RegFailQuery(k, "Driver", ERROR_ACCESS_DENIED); }, "Card\\\n"},
      {"description stored without terminator",
       [](const std::string &k) { w32fake::RegSetValue(k, "DeviceDesc", REG_BINARY, "Raw"); }, "Raw\\Net\\0000\n"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.what);
    w32fake::Reset();
    Adapter("Enum\\PCI\\Card", "Card", "Net\\0000");
    c.extra("Enum\\PCI\\Card");
    Adapter("Enum\\PCI\\Next", "Next", "Net\\0001");
    EXPECT_EQ(std::string(c.line) + "Next\\Net\\0001\n\n", Conf());
  }
}

TEST_F(Report, Win95ValuesOf127CharactersAreReadAnd128AreAbsent) {
  Adapter("Enum\\PCI\\A", std::string(127, 'd'), std::string(127, 'k'));
  Adapter("Enum\\PCI\\B", std::string(128, 'd'), "Net\\0001");
  Adapter("Enum\\PCI\\C", "C", std::string(128, 'k'));
  char work[4096];
  EXPECT_EQ(0, GetNamesAndNetKeys(work, sizeof work));
  EXPECT_EQ(std::string(127, 'd') + "\\" + std::string(127, 'k') + "\nC\\\n", work);
}

TEST_F(Report, Win95FailureMidWalkSkipsTheRestOfThatEnumeratorOnly) {
  struct {
    const char *what;
    void (*fault)();
  } faults[] = {
      {"enumeration fails", [] { w32fake::RegFailEnumKey("Enum\\PCI", 1, ERROR_CANTREAD); }},
      {"subkey cannot be opened", [] { w32fake::RegFailOpen("Enum\\PCI\\B", ERROR_ACCESS_DENIED); }},
  };
  for (auto &f : faults) {
    SCOPED_TRACE(f.what);
    w32fake::Reset();
    Adapter("Enum\\PCI\\A", "A", "Net\\0000");
    Adapter("Enum\\PCI\\B", "B", "Net\\0001");
    Adapter("Enum\\PCI\\C", "C", "Net\\0002");
    Adapter("Enum\\Root\\D", "D", "Net\\0003");
    f.fault();
    EXPECT_EQ("A\\Net\\0000\nD\\Net\\0003\n\n", Conf());
    HKEY enumKey;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, KEY_READ, &enumKey));
    char report[64] = "";
    EXPECT_NE(ERROR_SUCCESS, FindNet95(enumKey, "PCI", report, sizeof report));
    EXPECT_STREQ("A\\Net\\0000\n", report);  // lines before the failure stay
    RegCloseKey(enumKey);
  }
}

TEST_F(Report, Win95WithoutAdaptersOrEnumIsOneEmptyLine) {
  EXPECT_EQ("\n", Conf());
  w32fake::RegAddKey("Enum\\Root\\Printer");
  EXPECT_EQ("\n", Conf());
}

TEST_F(Report, FindNet95RefusesAMissingNameWithoutOpening) {
  char report[8] = "";
  EXPECT_EQ(ERROR_BADKEY, FindNet95(HKEY_LOCAL_MACHINE, "", report, sizeof report));
  EXPECT_EQ(ERROR_BADKEY, FindNet95(HKEY_LOCAL_MACHINE, nullptr, report, sizeof report));
  EXPECT_EQ(0, w32fake::RegOpenCalls());
}

TEST_F(Report, Enum95AppendsOnlyADeliveredName) {
  w32fake::RegAddKey("Enum\\PCI");
  w32fake::RegAddKey("Enum\\" + std::string(128, 'N'));  // one too long for 128 bytes
  char name[16] = "x";
  EXPECT_EQ(ERROR_SUCCESS, Enum95(name, sizeof name, 0));
  EXPECT_STREQ("xPCI", name);
  EXPECT_EQ(ERROR_SUCCESS, Enum95(name, sizeof name, 1));
  EXPECT_EQ(ERROR_SUCCESS, Enum95(name, sizeof name, 2));
  EXPECT_STREQ("xPCI", name);
  w32fake::Reset();
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Enum95(name, sizeof name, 0));
}

// Many adapters with long lines: neither the 4096-byte work buffer nor the
// 1024-byte output may overflow, and each ends with its last whole line, in
// walk order even when a later line would still fit.
TEST_F(Report, Win95TreeThatFillsTheBuffersKeepsWholeLinesInOrder) {
  const std::string desc(100, 'd');
  const size_t kLine = 100 + 1 + 8 + 1;
  for (int i = 0; i < 50; i++) {
    char key[64];
    std::snprintf(key, sizeof key, "Enum\\PCI\\%02d", i);
    Adapter(key, desc, "Net\\00" + std::to_string(10 + i));  // lines of kLine bytes
  }
  Adapter("Enum\\Root\\Short", "S", "Net\\9999");  // would fit, but comes after
  char work[4096 + 16];
  std::memset(work, 'Z', sizeof work);
  GetNamesAndNetKeys(work, 4096);
  std::string text = work;
  EXPECT_EQ(37 * kLine, text.size());  // 37 lines fit 4095 bytes, 38 do not
  EXPECT_EQ('Z', work[4096]);
  EXPECT_EQ(std::string::npos, text.find("S\\"));

  std::string out = Conf();
  EXPECT_EQ(9 * kLine + 1, out.size());  // 9 whole lines, the closing "\n" and the NUL fit 1024
  EXPECT_EQ("\n\n", out.substr(out.size() - 2));
  EXPECT_EQ(text.substr(0, 9 * kLine), out.substr(0, 9 * kLine));
}

}  // namespace
