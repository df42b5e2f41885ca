// The user-interface half of our Win32 layer answers as Windows does: the
// setup tests rely on these answers.
#include <gtest/gtest.h>
#include <w32fake.h>

#include <string>
#include <vector>

namespace {

class Win32Ui : public ::testing::Test {
 protected:
  void SetUp() override {
    w32fake::Reset();
    w32fake::AddDialogTemplate("PLAIN", "", {{1, "button"}, {101, "listbox"}});
    w32fake::AddDialogTemplate("CLASSY", "OwnClass", {{1, "button"}});
  }
};

std::vector<UINT> seen;
INT_PTR CALLBACK Recorder(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  seen.push_back(message);
  if (message == WM_COMMAND) EndDialog(dialog, LOWORD(wParam));
  if (message == WM_DESTROY) EndDialog(dialog, 99);  // too late to change the result
  return TRUE;
}

TEST_F(Win32Ui, DialogRunsInitThenCommandsThenDestroy) {
  seen.clear();
  w32fake::OnDialog([](HWND d, const std::string &) { w32fake::Command(d, 5); });
  EXPECT_EQ(5, DialogBoxParamA(nullptr, "plain", nullptr, Recorder, 0));
  EXPECT_EQ((std::vector<UINT>{WM_INITDIALOG, WM_COMMAND, WM_DESTROY}), seen);
}

TEST_F(Win32Ui, DialogCreationFailsAsWindowsReportsIt) {
  struct {
    const char *name;
    DWORD error;
  } cases[] = {{"MISSING", ERROR_RESOURCE_NAME_NOT_FOUND}, {"CLASSY", ERROR_CANNOT_FIND_WND_CLASS}};
  for (const auto &c : cases) {
    SetLastError(0);
    EXPECT_EQ(-1, DialogBoxParamA(nullptr, c.name, nullptr, Recorder, 0));
    EXPECT_EQ(c.error, GetLastError());
  }
  EXPECT_EQ(-1, DialogBoxParamA(nullptr, "PLAIN", reinterpret_cast<HWND>(0x1234), Recorder, 0));
  EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
}

TEST_F(Win32Ui, ClassesRegisterOncePerInstance) {
  WNDCLASSA wc{};
  wc.lpszClassName = "OwnClass";
  EXPECT_NE(0, RegisterClassA(&wc));
  EXPECT_EQ(0, RegisterClassA(&wc));
  EXPECT_EQ((DWORD)ERROR_CLASS_ALREADY_EXISTS, GetLastError());
  w32fake::OnDialog([](HWND d, const std::string &) { EndDialog(d, 3); });
  EXPECT_EQ(3, DialogBoxParamA(nullptr, "CLASSY", nullptr, Recorder, 0));
}

TEST_F(Win32Ui, ListBoxKeepsItemsInOrder) {
  w32fake::OnDialog([](HWND d, const std::string &) {
    HWND list = GetDlgItem(d, 101);
    EXPECT_EQ(0, SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "b"));
    EXPECT_EQ(1, SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "a"));
    EXPECT_EQ(2, SendMessageA(list, LB_GETCOUNT, 0, 0));
    char text[8];
    EXPECT_EQ(1, SendMessageA(list, LB_GETTEXT, 1, (LPARAM)text));
    EXPECT_STREQ("a", text);
    EXPECT_EQ(LB_ERR, SendMessageA(list, LB_GETTEXT, 2, (LPARAM)text));
    EXPECT_EQ(0, SendMessageA(list, LB_SETTOPINDEX, 100, 0));
    EXPECT_EQ(1, SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    EXPECT_EQ((std::vector<std::string>{"b", "a"}), w32fake::ListBoxItems(list));
    EXPECT_EQ(nullptr, GetDlgItem(d, 102));
    EXPECT_EQ((DWORD)ERROR_CONTROL_ID_NOT_FOUND, GetLastError());
    EndDialog(d, 1);
  });
  DialogBoxParamA(nullptr, "PLAIN", nullptr, Recorder, 0);
}

TEST_F(Win32Ui, EndDialogAndMessagesNeedALiveWindow) {
  HWND gone = nullptr;
  w32fake::OnDialog([&](HWND d, const std::string &) {
    gone = d;
    EndDialog(d, 1);
  });
  DialogBoxParamA(nullptr, "PLAIN", nullptr, Recorder, 0);
  EXPECT_FALSE(EndDialog(gone, 1));
  EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
  EXPECT_FALSE(EndDialog(w32fake::AddWindow({0, 0, 1, 1}), 1));  // not a dialog
  EXPECT_EQ(0, SendMessageA(nullptr, LB_GETCOUNT, 0, 0));
  EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
  EXPECT_EQ(0, MessageBoxA(gone, "x", "y", MB_OK));
}

TEST_F(Win32Ui, MessageBoxAnswersInOrderAndLetsADialogWorkWhileOpen) {
  w32fake::AnswerMessageBox(IDCANCEL);
  w32fake::OnDialog([](HWND d, const std::string &) {
    w32fake::OnMessageBox([d](const w32fake::MessageBoxCall &box) {
      EXPECT_EQ("first", box.text);
      w32fake::Command(d, 4);  // pressed in the dialog while the box is up
    });
    EXPECT_EQ(IDCANCEL, MessageBoxA(nullptr, "first", nullptr, MB_OKCANCEL));
    EXPECT_TRUE(w32fake::DialogEnded(d));
  });
  EXPECT_EQ(4, DialogBoxParamA(nullptr, "PLAIN", nullptr, Recorder, 0));
  w32fake::OnMessageBox(nullptr);
  EXPECT_EQ(IDOK, MessageBoxA(nullptr, "second", "t", MB_OK));
  EXPECT_EQ("Error", w32fake::MessageBoxes()[0].caption);
}

}  // namespace
