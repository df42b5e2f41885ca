// The installer shell: the command line, the SETUP dialog with its log header
// and commands, the HELP page, centring and the message box.
#include <gtest/gtest.h>
#include <w32fake.h>

#include <cstring>
#include <string>
#include <vector>

#include "resource.h"
#include "setup.h"

namespace {

const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x400000);
const char kUsage[] = "Usage: setup [-u] [dir]\n";

class SetupShell : public ::testing::Test {
 protected:
  // A table that starts each case with SetUp() has the case before checked.
  void SetUp() override {
    if (cases++ > 0) ExpectNothingLeftOpen();
    w32fake::Reset();
    argc = 0;
    argv[0] = argv[1] = argv[2] = nullptr;
    hInst = nullptr;
    uninst = 0;
    std::memset(dir, 0, sizeof dir);
    hNewCursor = nullptr;
    hList = nullptr;
    std::memset(&version, 0, sizeof version);
    platform = 0;
    installed = 0;
    std::memset(buf, 0, sizeof buf);
    w32fake::AddDialogTemplate("SETUP", "SetupClass",
                               {{IDOK, "button"}, {IDCANCEL, "button"}, {ID_LOG, "listbox"}, {ID_HELP, "button"}});
    w32fake::AddDialogTemplate("HELP", "",
                               {{IDOK, "button"}, {-1, "static"}, {-1, "static"}, {-1, "static"}, {-1, "static"}});
    w32fake::AddIconResource("MyIcon");
  }
  void TearDown() override { ExpectNothingLeftOpen(); }
  // Every dialog ended, every key closed, the job's process handles let go.
  void ExpectNothingLeftOpen() {
    EXPECT_EQ(0, w32fake::UnendedDialogs());
    EXPECT_EQ(0, w32fake::RegOpenKeyCount()) << "a key was left open";
    EXPECT_EQ(0, w32fake::OpenHandleCount()) << "a handle was left open";
  }
  int cases = 0;

  // Runs setup with this command tail; in SETUP the script acts, or by
  // default the log is read and Cancel pressed.
  int Start(const std::string &tail, w32fake::DialogScript setup = nullptr) {
    tailBuffer.assign(tail.begin(), tail.end());
    tailBuffer.push_back('\0');
    w32fake::OnDialog([this, setup](HWND dialog, const std::string &name) {
      if (name != "SETUP") return;
      log = w32fake::ListBoxItems(GetDlgItem(dialog, ID_LOG));
      if (setup)
        setup(dialog, name);
      else
        w32fake::Command(dialog, IDCANCEL);
    });
    return SetupStart(kInstance, tailBuffer.data());
  }

  std::vector<char> tailBuffer;
  std::vector<std::string> log;
};

struct CommandLineCase {
  const char *tail;
  bool usage;
  int mode;  // uninst
  const char *target;
  int args;  // argc
};

TEST_F(SetupShell, CommandLineChoosesModeAndTarget) {
  const std::string at255(255, 'd'), at256(256, 'd');
  const std::string at255Switched = "-u " + at255, at256Switched = "-u " + at256;
  const std::string longSwitch = "-" + std::string(300, 'x');
  const CommandLineCase cases[] = {
      {"", false, 0, "ROVAN", 1},
      {"-u", false, 1, "ROVAN", 2},
      {"-U", false, 1, "ROVAN", 2},
      {"-x", false, 1, "ROVAN", 2},
      {"-", false, 1, "ROVAN", 2},
      {"mydir", false, 0, "mydir", 2},
      {"D:\\Apps\\Rovan", false, 0, "D:\\Apps\\Rovan", 2},
      {"-u mydir", false, 1, "mydir", 3},
      {"mydir -u", true, 0, "", 0},
      {"a b c", true, 0, "", 0},
      {"-u a b", true, 0, "", 0},
      {"-u mydir  ", false, 1, "mydir", 3},       // trailing blanks make no argument
      {"-u mydir\t", false, 1, "mydir\t", 3},     // a tab alone does not end one
      {"-u  mydir", false, 1, "mydir", 3},        // runs of blanks are one separator
      {"-u \t\tmydir", false, 1, "mydir", 3},
      {"-u \n\v\f\rmydir", false, 1, "mydir", 3},  // any white space after the blank
      {"-u\t mydir", false, 1, "mydir", 3},       // the switch keeps its tab
      {"my\tdir", false, 0, "my\tdir", 2},        // only a blank separates
      {"\"my dir\"", true, 0, "", 0},             // quotes protect nothing
      {"-u \"my dir\"", true, 0, "", 0},
      {"\"mydir\"", false, 0, "\"mydir\"", 2},    // and stay in the word
      {"-u \xa0mydir", false, 1, "\xa0mydir", 3},  // high bytes are never white space
      {at255.c_str(), false, 0, at255.c_str(), 2},
      {at256.c_str(), true, 0, "", 0},             // refused, not cut
      {at255Switched.c_str(), false, 1, at255.c_str(), 3},
      {at256Switched.c_str(), true, 0, "", 0},
      {longSwitch.c_str(), false, 1, "ROVAN", 2},  // a switch is no target
  };
  for (const auto &c : cases) {
    SetUp();
    SCOPED_TRACE(std::string("tail: [") + c.tail + "]");
    EXPECT_EQ(0, Start(c.tail));
    if (c.usage) {
      ASSERT_EQ(1u, w32fake::MessageBoxes().size());
      EXPECT_EQ(kUsage, w32fake::MessageBoxes()[0].text);
      EXPECT_TRUE(w32fake::Dialogs().empty());
      EXPECT_TRUE(w32fake::Classes().empty());
      EXPECT_STREQ("", dir);
    } else {
      EXPECT_TRUE(w32fake::MessageBoxes().empty());
      ASSERT_EQ(1u, w32fake::Dialogs().size());
      EXPECT_EQ(c.mode, uninst);
      EXPECT_STREQ(c.target, dir);
      EXPECT_EQ(c.args, argc);
      EXPECT_STREQ("setup", argv[0]);
    }
  }
}

TEST_F(SetupShell, ArgumentsAreSplitInPlace) {
  Start("-u  D:\\x");
  ASSERT_EQ(3, argc);
  EXPECT_EQ(tailBuffer.data(), argv[1]);
  EXPECT_EQ(tailBuffer.data() + 4, argv[2]);
  EXPECT_STREQ("-u", argv[1]);
}

TEST_F(SetupShell, UsageEndsTheProgramWhateverTheAnswer) {
  for (int answer : {IDOK, IDCANCEL, 0}) {
    SetUp();
    if (answer == 0)
      w32fake::FailNextMessageBox(ERROR_NOT_ENOUGH_MEMORY);
    else
      w32fake::AnswerMessageBox(answer);
    EXPECT_EQ(0, Start("a b"));
    EXPECT_TRUE(w32fake::Dialogs().empty());
    EXPECT_TRUE(w32fake::CursorLoads().empty());
  }
}

TEST_F(SetupShell, StartUpRegistersSetupClassAndRunsSetup) {
  EXPECT_EQ(0, Start(""));
  EXPECT_EQ(kInstance, hInst);
  EXPECT_EQ(1, w32fake::InitCommonControlsCalls());

  ASSERT_EQ(2u, w32fake::CursorLoads().size());
  EXPECT_EQ(nullptr, w32fake::CursorLoads()[0].instance);
  EXPECT_EQ("#32514", w32fake::CursorLoads()[0].name);  // the wait cursor, for the job
  EXPECT_EQ(hNewCursor, w32fake::CursorLoads()[0].handle);
  EXPECT_NE(nullptr, hNewCursor);
  EXPECT_EQ("#32512", w32fake::CursorLoads()[1].name);

  ASSERT_EQ(1u, w32fake::IconLoads().size());
  EXPECT_EQ(kInstance, w32fake::IconLoads()[0].instance);
  EXPECT_EQ("MyIcon", w32fake::IconLoads()[0].name);

  ASSERT_EQ(1u, w32fake::Classes().size());
  const WNDCLASSA &wc = w32fake::Classes()[0].wc;
  EXPECT_EQ("SetupClass", w32fake::Classes()[0].className);
  EXPECT_EQ(3u, wc.style);
  EXPECT_EQ(&DefDlgProcA, wc.lpfnWndProc);
  EXPECT_EQ(0, wc.cbClsExtra);
  EXPECT_EQ(30, wc.cbWndExtra);
  EXPECT_EQ(kInstance, wc.hInstance);
  EXPECT_EQ(w32fake::IconLoads()[0].handle, wc.hIcon);
  EXPECT_EQ(w32fake::CursorLoads()[1].handle, wc.hCursor);
  EXPECT_EQ(reinterpret_cast<HBRUSH>(6), wc.hbrBackground);
  EXPECT_EQ(nullptr, wc.lpszMenuName);

  ASSERT_EQ(1u, w32fake::Dialogs().size());
  const w32fake::DialogRun &run = w32fake::Dialogs()[0];
  EXPECT_EQ("SETUP", run.templateName);
  EXPECT_EQ(kInstance, run.instance);
  EXPECT_EQ(nullptr, run.owner);
  EXPECT_EQ(0, run.init);
  EXPECT_EQ(2, run.result);
}

TEST_F(SetupShell, SetupThatCannotBeCreatedIsReported) {
  for (bool classFails : {false, true}) {
    SetUp();
    if (classFails)
      w32fake::FailNextRegisterClass(ERROR_NOT_ENOUGH_MEMORY);  // then the template finds no class
    else
      w32fake::FailDialog("SETUP", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(-1, EnterDialogBox());
    ASSERT_EQ(1u, w32fake::MessageBoxes().size());
    EXPECT_EQ("unable to create SETUP dialog\n", w32fake::MessageBoxes()[0].text);
    EXPECT_EQ("ROVAN Kernel", w32fake::MessageBoxes()[0].caption);
  }
  SetUp();
  w32fake::FailDialog("SETUP", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(0, Start(""));  // the program still ends with 0
}

TEST_F(SetupShell, LogHeaderPerMode) {
  struct {
    const char *tail;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {"ROVAN Setup Log", "===============", "Target directory: C:\\ROVAN", "Click OK to start, Cancel to exit..."}},
      {"D:\\Apps",
       {"ROVAN Setup Log", "===============", "Target directory: C:\\D:\\Apps", "Click OK to start, Cancel to exit..."}},
      {"-u", {"ROVAN Setup Log", "===============", "Click OK to UNINSTALL ROVAN, Cancel to exit..."}},
      {"-u D:\\Apps", {"ROVAN Setup Log", "===============", "Click OK to UNINSTALL ROVAN, Cancel to exit..."}},
  };
  for (const auto &c : cases) {
    SetUp();
    SCOPED_TRACE(c.tail);
    HWND listBox = nullptr;
    int extent = 0;
    Start(c.tail, [&](HWND d, const std::string &) {
      listBox = GetDlgItem(d, ID_LOG);
      extent = w32fake::ListBoxHorizontalExtent(listBox);
      w32fake::Command(d, IDCANCEL);
    });
    EXPECT_EQ(c.lines, log);
    EXPECT_EQ(listBox, hList);
    EXPECT_EQ(800, extent);
  }
}

TEST_F(SetupShell, PlatformFromTheVersion) {
  struct {
    DWORD platformId;
    bool fails;
    int expected;
  } cases[] = {
      {VER_PLATFORM_WIN32_NT, false, 1},
      {VER_PLATFORM_WIN32_WINDOWS, false, 0},
      {VER_PLATFORM_WIN32_NT, true, 0},  // unknown is treated as the 95 family
  };
  for (const auto &c : cases) {
    SetUp();
    w32fake::SetVersion(c.platformId, 4, 10);
    if (c.fails) w32fake::FailGetVersion(ERROR_INVALID_PARAMETER);
    Start("");
    EXPECT_EQ(c.expected, platform);
    EXPECT_EQ(148u, version.dwOSVersionInfoSize);
  }
}

TEST_F(SetupShell, CancelBeforeOkEndsAtOnceAndTouchesNothing) {
  Start("");
  EXPECT_EQ(2, w32fake::Dialogs()[0].result);
  EXPECT_EQ(0, installed);
  EXPECT_TRUE(w32fake::ProcessStarts().empty());
  EXPECT_TRUE(w32fake::DeletedFiles().empty());
}

TEST_F(SetupShell, FirstOkRunsTheJobAndTheNextOkOrCancelEnds) {
  for (int second : {IDOK, IDCANCEL}) {
    SetUp();
    Start("", [&](HWND d, const std::string &) {
      EXPECT_EQ(TRUE, w32fake::Command(d, IDOK));
      EXPECT_FALSE(w32fake::DialogEnded(d));
      EXPECT_EQ(1, installed);
      EXPECT_EQ(FALSE, w32fake::Command(d, 0x7777));  // unknown commands are not handled
      EXPECT_EQ(TRUE, w32fake::Command(d, second));
      EXPECT_TRUE(w32fake::DialogEnded(d));
    });
    EXPECT_EQ(2, w32fake::Dialogs().back().result);
  }
}

TEST_F(SetupShell, HelpOpensHelpAndLeavesSetupAsItWas) {
  std::vector<std::string> logAfterHelp;
  Start("", [&](HWND d, const std::string &) {
    w32fake::OnDialog([](HWND help, const std::string &name) {
      EXPECT_EQ("HELP", name);
      EXPECT_EQ(TRUE, w32fake::Command(help, IDOK));
    });
    EXPECT_EQ(TRUE, w32fake::Command(d, ID_HELP));
    logAfterHelp = w32fake::ListBoxItems(hList);
    w32fake::Command(d, IDCANCEL);
  });
  ASSERT_EQ(2u, w32fake::Dialogs().size());
  const w32fake::DialogRun &help = w32fake::Dialogs()[1];
  EXPECT_EQ("HELP", help.templateName);
  EXPECT_EQ(kInstance, help.instance);
  EXPECT_EQ(nullptr, help.owner);  // SETUP stays enabled
  EXPECT_EQ(1, help.result);
  EXPECT_EQ(log, logAfterHelp);
  EXPECT_EQ(2, w32fake::Dialogs()[0].result);
}

TEST_F(SetupShell, HelpThatCannotBeCreatedIsReportedAndSetupCarriesOn) {
  w32fake::FailDialog("HELP", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(-1, EnterDialogBoxHelp());
  ASSERT_EQ(1u, w32fake::MessageBoxes().size());
  EXPECT_EQ("unable to create HELP dialog\n", w32fake::MessageBoxes()[0].text);
  Start("", [](HWND d, const std::string &) {
    EXPECT_EQ(TRUE, w32fake::Command(d, ID_HELP));
    w32fake::Command(d, IDCANCEL);
  });
  EXPECT_EQ(2u, w32fake::MessageBoxes().size());
  ASSERT_EQ(3u, w32fake::Dialogs().size());  // HELP, SETUP, HELP inside it
  EXPECT_EQ("SETUP", w32fake::Dialogs()[1].templateName);
  EXPECT_EQ(2, w32fake::Dialogs()[1].result);
}

TEST_F(SetupShell, HelpClosesWithOkOrEscapeOnly) {
  struct {
    UINT message;
    WPARAM command;
    INT_PTR handled;
    bool ends;
  } cases[] = {
      {WM_COMMAND, IDOK, TRUE, true},
      {WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), TRUE, true},
      {WM_COMMAND, ID_HELP, FALSE, false},
      {WM_DESTROY, 0, FALSE, false},
      {WM_CLOSE, 0, FALSE, false},
  };
  for (const auto &c : cases) {
    SetUp();
    w32fake::OnDialog([&](HWND help, const std::string &) {
      EXPECT_EQ(c.handled, HelpDlgProc(help, c.message, c.command, 0));
      if (!c.ends) EndDialog(help, 7);
    });
    EXPECT_EQ(1, EnterDialogBoxHelp());
    EXPECT_EQ(c.ends ? 1 : 7, w32fake::Dialogs()[0].result);
  }
}

TEST_F(SetupShell, DestroyEndsSetupLikeCancel) {
  INT_PTR handled = 0;
  Start("", [&](HWND d, const std::string &) {
    handled = MyDlgProc(d, WM_DESTROY, 0, 0);
    EXPECT_EQ(FALSE, MyDlgProc(d, WM_CLOSE, 0, 0));
  });
  EXPECT_EQ(TRUE, handled);
  EXPECT_EQ(2, w32fake::Dialogs()[0].result);
  EXPECT_EQ(0, installed);
}

TEST_F(SetupShell, CenterWindowArithmetic) {
  struct {
    RECT screen, window;
    int x, y;
  } cases[] = {
      {{0, 0, 1024, 768}, {0, 0, 300, 200}, 362, 284},
      {{0, 0, 1024, 768}, {40, 30, 341, 231}, 362, 284},    // odd sizes round toward zero
      {{0, 0, 1023, 767}, {0, 0, 301, 201}, 361, 283},      // term by term: 511 - 150
      {{100, 50, 1124, 818}, {0, 0, 300, 200}, 412, 309},   // the desktop's left and top do not enter
      {{0, 0, 1024, 768}, {0, 0, 2001, 1001}, -488, -116},  // larger than the screen
      {{0, 0, -7, -7}, {0, 0, 0, 0}, -3, -3},               // toward zero, not down
  };
  for (const auto &c : cases) {
    SetUp();
    w32fake::SetScreenRect(c.screen);
    HWND w = w32fake::AddWindow(c.window);
    EXPECT_EQ(0, CenterWindow(w));
    ASSERT_EQ(1u, w32fake::WindowMoves().size());
    const w32fake::WindowMove &m = w32fake::WindowMoves()[0];
    EXPECT_EQ(w, m.window);
    EXPECT_EQ(nullptr, m.insertAfter);
    EXPECT_EQ((UINT)SWP_NOSIZE, m.flags);
    EXPECT_EQ(c.x, m.x);
    EXPECT_EQ(c.y, m.y);
    RECT after;
    GetWindowRect(w, &after);
    EXPECT_EQ(c.window.right - c.window.left, after.right - after.left);
  }
}

TEST_F(SetupShell, CenterWindowLeavesTheWindowWhenARectangleFails) {
  for (bool desktopFails : {false, true}) {
    SetUp();
    HWND w = w32fake::AddWindow({0, 0, 300, 200});
    w32fake::FailGetWindowRect(desktopFails ? GetDesktopWindow() : w);
    EXPECT_EQ(-1, CenterWindow(w));
    EXPECT_TRUE(w32fake::WindowMoves().empty());
  }
  EXPECT_EQ(-1, CenterWindow(nullptr));
}

TEST_F(SetupShell, SetupIsCentredWhenPrepared) {
  w32fake::SetDialogRect({6, 15, 300, 215});
  Start("");
  ASSERT_EQ(1u, w32fake::WindowMoves().size());
  EXPECT_EQ(512 - 147, w32fake::WindowMoves()[0].x);
  EXPECT_EQ(384 - 100, w32fake::WindowMoves()[0].y);
}

TEST_F(SetupShell, KprintfShowsItsBoxAndReturnsTheAnswer) {
  struct {
    int answer;  // 0: the box fails
    int expected;
  } cases[] = {{IDOK, 1}, {IDCANCEL, 2}, {0, 0}};
  for (const auto &c : cases) {
    SetUp();
    if (c.answer)
      w32fake::AnswerMessageBox(c.answer);
    else
      w32fake::FailNextMessageBox(ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(c.expected, kprintf("ERROR: %d %s\n", 2, "x"));
    if (!c.answer) continue;
    ASSERT_EQ(1u, w32fake::MessageBoxes().size());
    const w32fake::MessageBoxCall &box = w32fake::MessageBoxes()[0];
    EXPECT_EQ("ERROR: 2 x\n", box.text);
    EXPECT_EQ("ROVAN Kernel", box.caption);
    EXPECT_EQ(0x10001u, box.type);
    EXPECT_EQ(nullptr, box.owner);
  }
}

TEST_F(SetupShell, KprintfCutsATextLongerThanItsBuffer) {
  std::string huge(40000, 'k');
  kprintf("%s", huge.c_str());
  ASSERT_EQ(1u, w32fake::MessageBoxes().size());
  EXPECT_EQ(huge.substr(0, 32767), w32fake::MessageBoxes()[0].text);
}

}  // namespace
