// The Win32 layer itself must answer as Windows does, or the program tests
// prove nothing: these are the answers the programs depend on.
#include <gtest/gtest.h>
#include <w32fake.h>

#include <cstring>

namespace {

class Win32Layer : public ::testing::Test {
 protected:
  void SetUp() override { w32fake::Reset(); }
};

TEST_F(Win32Layer, RegistryOpensPathsOneByOneAndCountsOpenKeys) {
  w32fake::RegAddKey("SYSTEM\\CurrentControlSet");
  HKEY a, b, missing;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "system", 0, KEY_READ, &a));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(a, "CURRENTCONTROLSET", 0, KEY_READ, &b));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(b, "Services", 0, KEY_READ, &missing));
  EXPECT_EQ(nullptr, missing);
  EXPECT_EQ(2, w32fake::RegOpenKeyCount());
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(b));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(a));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(a));
  EXPECT_EQ(0, w32fake::RegOpenKeyCount());
}

TEST_F(Win32Layer, RegistryPlantedFailures) {
  w32fake::RegFailOpen("A\\B", ERROR_ACCESS_DENIED);
  w32fake::RegAddKey("A\\C");
  w32fake::RegFailEnumKey("A", 1, ERROR_CANTREAD);
  HKEY a, b;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &a));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(a, "B", 0, KEY_READ, &b));
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(a, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ("B", name);
  EXPECT_EQ(1u, size);
  size = sizeof name;
  EXPECT_EQ(ERROR_CANTREAD, RegEnumKeyExA(a, 1, name, &size, nullptr, nullptr, nullptr, nullptr));
  size = sizeof name;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(a, 2, name, &size, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(a);
}

TEST_F(Win32Layer, RegistryValuesAsWindowsDeliversThem) {
  w32fake::RegSetString("K", "Text", "abc");
  w32fake::RegSetValue("K", "Raw", REG_BINARY, "xyz");  // no terminator
  w32fake::RegSetValue("K", "LongName0123456789", REG_DWORD, "1234");
  HKEY k;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &k));
  char data[8];
  DWORD type = 0, size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(k, "text", nullptr, &type, (LPBYTE)data, &size));
  EXPECT_EQ((DWORD)REG_SZ, type);
  EXPECT_EQ(4u, size);
  EXPECT_STREQ("abc", data);
  std::memset(data, 'Q', sizeof data);
  size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(k, "Raw", nullptr, &type, (LPBYTE)data, &size));
  EXPECT_EQ(3u, size);
  EXPECT_EQ('Q', data[3]);  // nothing added behind the stored bytes
  size = 3;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(k, "Text", nullptr, nullptr, (LPBYTE)data, &size));
  EXPECT_EQ(4u, size);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(k, "None", nullptr, nullptr, (LPBYTE)data, &size));
  char name[8];
  size = sizeof name;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(k, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ("Text", name);
  size = sizeof name;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(k, 2, name, &size, nullptr, nullptr, nullptr, nullptr));
  size = sizeof name;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueA(k, 3, name, &size, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(k);
}

TEST_F(Win32Layer, DirectoriesReportTheSizeNeededWhenTheBufferIsShort) {
  char dir[4] = "xyz";
  EXPECT_EQ(8u, GetCurrentDirectoryA(sizeof dir, dir));  // "C:\DIST" and its NUL
  EXPECT_STREQ("xyz", dir);
  char big[64];
  EXPECT_EQ(7u, GetCurrentDirectoryA(sizeof big, big));
  EXPECT_STREQ("C:\\DIST", big);
}
}  // namespace
