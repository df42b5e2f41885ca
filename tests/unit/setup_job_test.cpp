// The install and uninstall job, run as the user runs it: the SETUP dialog of
// our Win32 layer, its first OK, the prompts answered, the log read back. The
// INF files are real files in a temporary folder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <w32fake.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "setup.h"

namespace {

namespace fs = std::filesystem;

const char kInf[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[Installrovan]\r\nCopyFiles=Files\r\n\r\n"
    "[Strings]\r\nSOURCE=\"old\"\r\nDEST=OLD\r\n";

struct Outcome {
  std::vector<std::string> log;  // the lines after the header
  std::vector<int> topRequests;
  INT_PTR dialogResult;
};

class Job : public ::testing::Test {
 protected:
  void SetUp() override {
    w32fake::Reset();
    if (!root.empty()) fs::remove_all(root);  // a case of a table starting afresh
    char pattern[] = "/tmp/setup_job_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    root = pattern;
    w32fake::SetFileRoot(root);
    for (const char *inf : {"rovan_nt.inf", "rovan_95.inf"}) {
      Write("C:\\DIST\\" + std::string(inf), kInf);
      Write("C:\\WINDOWS\\inf\\" + std::string(inf), kInf);
    }
    w32fake::AddDialogTemplate("SETUP", "", {{1, "button"}, {2, "button"}, {101, "listbox"}, {102, "button"}});
    uninst = 0;
    installed = 0;
    platform = 0;
    std::strcpy(dir, "ROVAN");
    hNewCursor = LoadCursorA(NULL, IDC_WAIT);
  }
  void TearDown() override {
    fs::remove_all(root);
    EXPECT_EQ(0, w32fake::RegOpenKeyCount());
    EXPECT_EQ(0, w32fake::OpenProcessHandleCount());
    EXPECT_EQ(0, w32fake::UnendedDialogs());
  }

  void Write(const std::string &windowsPath, const std::string &text) {
    fs::path p = w32fake::HostPath(windowsPath);
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }
  std::string Read(const std::string &windowsPath) {
    std::ifstream in(w32fake::HostPath(windowsPath), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool Exists(const std::string &windowsPath) { return fs::exists(w32fake::HostPath(windowsPath)); }

  // Opens SETUP, presses OK once (the job), reads the log, then OK again.
  Outcome Run() {
    Outcome o{};
    w32fake::OnDialog([&](HWND dialog, const std::string &) {
      size_t header = w32fake::ListBoxItems(hList).size();
      w32fake::Command(dialog, IDOK);
      auto items = w32fake::ListBoxItems(hList);
      o.log.assign(items.begin() + header, items.end());
      o.topRequests = w32fake::ListBoxTopIndexRequests(hList);
      w32fake::Command(dialog, IDOK);
    });
    o.dialogResult = DialogBoxParamA(NULL, "SETUP", NULL, MyDlgProc, 0);
    return o;
  }

  std::string root;
};

void Windows95() { w32fake::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10); }

void Adapter(const std::string &path, const std::string &desc, const std::string &driver) {
  w32fake::RegSetString(path, "Class", "Net");
  w32fake::RegSetString(path, "DeviceDesc", desc);
  w32fake::RegSetString(path, "Driver", driver);
}

// --- the INF installer's command line and the INF edits -----------------------

TEST_F(Job, CommandLineByModeAndPlatform) {
  struct {
    bool nt, uninstall;
    const char *command;
  } cases[] = {
      {true, false, "RunDll32 setupapi.dll,InstallHinfSection Installrovan 0 C:\\DIST\\rovan_nt.inf"},
      {false, false, "RunDll32 setupx.dll,InstallHinfSection Installrovan 0 C:\\DIST\\rovan_95.inf"},
      {true, true, "RunDll32 setupapi.dll,InstallHinfSection Uninstallrovan 0 C:\\WINDOWS\\inf\\rovan_nt.inf"},
      {false, true, "RunDll32 setupx.dll,InstallHinfSection Uninstallrovan 0 C:\\WINDOWS\\inf\\rovan_95.inf"},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.command);
    w32fake::Reset();
    SetUp();
    if (!c.nt) Windows95();
    uninst = c.uninstall;
    Run();
    ASSERT_LE(1u, w32fake::ProcessStarts().size());
    const w32fake::ProcessStart &s = w32fake::ProcessStarts()[0];
    EXPECT_EQ(c.command, s.commandLine);
    EXPECT_FALSE(s.hadApplicationName);
    EXPECT_FALSE(s.hadProcessAttributes || s.hadThreadAttributes || s.hadEnvironment);
    EXPECT_EQ(FALSE, s.inheritHandles);
    EXPECT_EQ((DWORD)(CREATE_NEW_CONSOLE | HIGH_PRIORITY_CLASS), s.creationFlags);
    EXPECT_EQ("C:\\DIST", s.directory);
    // The wait cursor is up around the start, and the previous one comes back.
    ASSERT_LE(2u, w32fake::CursorsSet().size());
    EXPECT_EQ(hNewCursor, w32fake::CursorsSet()[0]);
    EXPECT_EQ(nullptr, w32fake::CursorsSet()[1]);
  }
}

TEST_F(Job, InstallEditsTheDistributionInfAndDeletesTheOldCopy) {
  Run();
  std::string inf = Read("C:\\DIST\\rovan_nt.inf");
  EXPECT_NE(std::string::npos, inf.find("SOURCE=C:\\DIST\r\n")) << inf;
  EXPECT_NE(std::string::npos, inf.find("DEST=ROVAN\r\n")) << inf;
  EXPECT_NE(std::string::npos, inf.find("[Installrovan]"));
  EXPECT_EQ(std::vector<std::string>{"C:\\WINDOWS\\inf\\rovan_nt.inf"}, w32fake::DeletedFiles());
  EXPECT_FALSE(Exists("C:\\WINDOWS\\inf\\rovan_nt.inf"));
  EXPECT_EQ(kInf, Read("C:\\DIST\\rovan_95.inf"));
}

// Nothing tells the user: the INF installer runs the INF as it stands, with
// the SOURCE and DEST it had, so another target than the one asked for is
// installed into.
TEST_F(Job, InfWithoutWriteAccessIsRunAsItStands) {
  w32fake::FailWriteProfile(ERROR_ACCESS_DENIED);
  std::strcpy(dir, "Other");
  Outcome o = Run();
  EXPECT_EQ(kInf, Read("C:\\DIST\\rovan_nt.inf"));
  ASSERT_LE(1u, w32fake::ProcessStarts().size());
  EXPECT_EQ("RunDll32 setupapi.dll,InstallHinfSection Installrovan 0 C:\\DIST\\rovan_nt.inf",
            w32fake::ProcessStarts()[0].commandLine);
  EXPECT_EQ("ROVAN Setup completed.", o.log.back());
}

TEST_F(Job, UninstallNeitherEditsNorDeletes) {
  uninst = 1;
  Run();
  EXPECT_TRUE(w32fake::DeletedFiles().empty());
  EXPECT_EQ(kInf, Read("C:\\DIST\\rovan_nt.inf"));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\inf\\rovan_nt.inf"));
}

TEST_F(Job, DistributionInTheRootOfADrive) {
  w32fake::SetCurrentDirectory("D:\\");
  Write("D:\\rovan_nt.inf", kInf);
  std::strcpy(dir, "Apps\\Rovan");
  Run();
  EXPECT_EQ("RunDll32 setupapi.dll,InstallHinfSection Installrovan 0 D:\\\\rovan_nt.inf",
            w32fake::ProcessStarts()[0].commandLine);
  EXPECT_EQ("D:\\", w32fake::ProcessStarts()[0].directory);
  std::string inf = Read("D:\\rovan_nt.inf");
  EXPECT_NE(std::string::npos, inf.find("SOURCE=D:\\\r\n")) << inf;
  EXPECT_NE(std::string::npos, inf.find("DEST=Apps\\Rovan\r\n")) << inf;
}

// --- what follows the start -----------------------------------------------

const char kNtInstallPrompt[] =
    "The ROVAN QUIBEX Driver is not installed.\nClick OK to install the QUIBEX Driver with Control Panel Network...\n";
const char kNtUninstallPrompt[] = "Click OK to uninstall the QUIBEX Driver with Control Panel Network...\n";
const char k95InstallPrompt[] = "The ROVAN QUIBEX Driver is not installed. Click OK to install it.\n";
const char k95UninstallPrompt[] = "Click OK to uninstall the ROVAN QUIBEX Driver...\n";

TEST_F(Job, FollowUpByPlatformDriverAndMode) {
  struct {
    bool nt, driver, uninstall;
    const char *prompt;  // null: no prompt
    bool waits;          // Sleep(5000) before the prompt
    std::vector<std::string> report;
  } rows[] = {
      {true, true, false, nullptr, false, {"\\Device\\QuibexTap", "\\Device\\NE20001"}},
      {true, true, true, kNtUninstallPrompt, false, {}},
      {true, false, false, kNtInstallPrompt, true, {}},
      {true, false, true, nullptr, false, {}},
      {false, true, false, nullptr, false, {"Quibex Tap\\Net\\0001[MSTCP\\0000]"}},
      {false, true, true, k95UninstallPrompt, false, {}},
      {false, false, false, k95InstallPrompt, false, {}},
      {false, false, true, nullptr, false, {}},
  };
  for (auto &r : rows) {
    for (int answer : {IDOK, IDCANCEL}) {
      if (answer == IDCANCEL && r.prompt == nullptr) continue;
      SCOPED_TRACE(::testing::Message() << (r.nt ? "NT" : "95") << (r.driver ? " driver" : " no driver")
                                        << (r.uninstall ? " uninstall" : " install") << " answer " << answer);
      w32fake::Reset();
      SetUp();
      uninst = r.uninstall;
      if (r.nt) {
        w32fake::RegSetMultiString("SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Linkage",
                                   {"\\Device\\QuibexTap", "\\Device\\NE20001"});
        if (r.driver) w32fake::RegAddKey("SYSTEM\\CurrentControlSet\\Services\\Quibex");
      } else {
        Windows95();
        Adapter("Enum\\Network\\QBXTAP\\0000", "Quibex Tap", "Net\\0001");
        w32fake::RegSetString("Enum\\Network\\QBXTAP\\0000\\Bindings", "MSTCP\\0000", "");
        if (!r.driver) w32fake::RegFailOpen("Enum\\Network\\QBXTAP\\0000", ERROR_FILE_NOT_FOUND);
      }
      w32fake::AnswerMessageBox(answer);
      Outcome o = Run();

      std::vector<std::string> log = r.report;
      log.push_back(r.uninstall ? "ROVAN Uninstall completed." : "ROVAN Setup completed.");
      EXPECT_EQ(log, o.log);
      EXPECT_EQ(std::vector<int>{100}, o.topRequests);
      EXPECT_EQ(1, installed);
      EXPECT_EQ(2, o.dialogResult);  // the second OK closed it
      EXPECT_EQ(r.waits ? std::vector<DWORD>{5000} : std::vector<DWORD>{}, w32fake::Sleeps());
      auto &boxes = w32fake::MessageBoxes();
      ASSERT_EQ(r.prompt ? 1u : 0u, boxes.size());
      if (r.prompt) {
        EXPECT_EQ(r.prompt, boxes[0].text);
        EXPECT_EQ("ROVAN Kernel", boxes[0].caption);
        EXPECT_EQ((UINT)(MB_OKCANCEL | MB_SETFOREGROUND), boxes[0].type);
      }
      auto &starts = w32fake::ProcessStarts();
      bool panel = r.prompt != nullptr && answer != IDCANCEL;
      ASSERT_EQ(panel ? 2u : 1u, starts.size());
      if (panel) {
        EXPECT_EQ(std::string("control.exe C:\\WINDOWS\\SYSTEM32") + (r.nt ? "\\ncpa.cpl" : "\\netcpl.cpl"),
                  starts[1].commandLine);
        EXPECT_EQ((DWORD)0x90, starts[1].creationFlags);
        EXPECT_EQ("C:\\DIST", starts[1].directory);
      }
    }
  }
}

TEST_F(Job, PromptThatCannotBeShownCountsAsConsentAndAFailedControlPanelIsSilent) {
  w32fake::FailNextMessageBox(ERROR_INVALID_WINDOW_HANDLE);
  Outcome o = Run();
  ASSERT_EQ(2u, w32fake::ProcessStarts().size());
  EXPECT_EQ("control.exe C:\\WINDOWS\\SYSTEM32\\ncpa.cpl", w32fake::ProcessStarts()[1].commandLine);

  w32fake::Reset();
  SetUp();
  w32fake::RegAddKey("SYSTEM\\CurrentControlSet\\Services\\Quibex");
  uninst = 1;
  w32fake::FailNextProcessStart(0);                     // the INF installer starts
  w32fake::FailNextProcessStart(ERROR_FILE_NOT_FOUND);  // control.exe does not
  o = Run();
  EXPECT_EQ(std::vector<std::string>{"ROVAN Uninstall completed."}, o.log);
}

TEST_F(Job, FailedStartIsTheLastLineAndNothingFollows) {
  w32fake::FailNextProcessStart(ERROR_FILE_NOT_FOUND);
  int opensBefore = w32fake::RegOpenCalls();
  Outcome o = Run();
  EXPECT_EQ(std::vector<std::string>{"ERROR: 2 Operation aborted."}, o.log);
  EXPECT_EQ(1, installed);
  EXPECT_EQ(2, o.dialogResult);
  EXPECT_EQ(opensBefore, w32fake::RegOpenCalls());  // no driver test
  EXPECT_TRUE(w32fake::MessageBoxes().empty());
  EXPECT_TRUE(w32fake::Sleeps().empty());
  EXPECT_TRUE(o.topRequests.empty());
}

// A path or command line too long for its 1024-byte buffer is refused before
// anything is touched, never cut.
TEST_F(Job, TooLongForItsBufferIsRefusedWithError206) {
  struct {
    const char *what;
    std::string curDir, winDir;
    bool uninstall;
  } cases[] = {
      {"install command line", "C:\\" + std::string(960, 'd'), "C:\\WINDOWS", false},
      {"uninstall command line", "C:\\DIST", "C:\\" + std::string(960, 'w'), true},
      {"INF copy path", "C:\\DIST", "C:\\" + std::string(1010, 'w'), false},
      {"current directory over 1023", "C:\\" + std::string(1030, 'd'), "C:\\WINDOWS", false},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.what);
    w32fake::Reset();
    SetUp();
    w32fake::SetCurrentDirectory(c.curDir);
    w32fake::SetWindowsDirectory(c.winDir);
    uninst = c.uninstall;
    Outcome o = Run();
    EXPECT_EQ(std::vector<std::string>{"ERROR: 206 Operation aborted."}, o.log);
    EXPECT_TRUE(w32fake::ProcessStarts().empty());
    EXPECT_TRUE(w32fake::DeletedFiles().empty());
    EXPECT_EQ(kInf, Read("C:\\DIST\\rovan_nt.inf"));
  }
  // 1023 characters still fit: the longest install command line is started.
  w32fake::Reset();
  SetUp();
  const size_t room = 1023 - std::strlen("RunDll32 setupapi.dll,InstallHinfSection Installrovan 0 \\rovan_nt.inf");
  w32fake::SetCurrentDirectory("C:\\" + std::string(room - 3, 'd'));
  Run();
  ASSERT_LE(1u, w32fake::ProcessStarts().size());
  EXPECT_EQ(1023u, w32fake::ProcessStarts()[0].commandLine.size());
}

TEST_F(Job, ReportShowsAtMost20PiecesEmptyOnesCounted) {
  Windows95();
  w32fake::RegAddKey("Enum\\Network\\QBXTAP\\0000");
  // Each adapter's line begins with a line feed: an empty piece, then one to show.
  for (int i = 0; i < 12; i++) {
    char key[32];
    std::snprintf(key, sizeof key, "Enum\\PCI\\%02d", i);
    Adapter(key, "\nCard" + std::to_string(i), "d");
  }
  Outcome o = Run();
  std::vector<std::string> log;
  for (int i = 0; i < 10; i++) log.push_back("Card" + std::to_string(i) + "\\d");
  log.push_back("ROVAN Setup completed.");
  EXPECT_EQ(log, o.log);

  w32fake::Reset();
  SetUp();
  std::initializer_list<std::string> bind = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m",
                                              "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y"};
  w32fake::RegSetMultiString("SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Linkage", bind);
  w32fake::RegAddKey("SYSTEM\\CurrentControlSet\\Services\\Quibex");
  o = Run();
  ASSERT_EQ(21u, o.log.size());
  EXPECT_EQ("t", o.log[19]);
}

// A prompt leaves the SETUP dialog enabled: OK there does not run the job a
// second time inside the first; Cancel ends the dialog once the job is done.
TEST_F(Job, OkOrCancelWhileAPromptIsOpen) {
  HWND setup = nullptr;
  w32fake::OnMessageBox([&](const w32fake::MessageBoxCall &) { w32fake::Command(setup, IDOK); });
  w32fake::OnDialog([&](HWND dialog, const std::string &) {
    setup = dialog;
    w32fake::Command(dialog, IDOK);
    EXPECT_EQ("ROVAN Setup completed.", w32fake::ListBoxItems(hList).back());
    w32fake::Command(dialog, IDOK);
  });
  EXPECT_EQ(2, DialogBoxParamA(NULL, "SETUP", NULL, MyDlgProc, 0));
  EXPECT_EQ(1u, w32fake::MessageBoxes().size());
  EXPECT_EQ(2u, w32fake::ProcessStarts().size());  // the INF installer and the Control Panel, once each

  w32fake::Reset();
  SetUp();
  std::vector<std::string> log;
  w32fake::OnMessageBox([&](const w32fake::MessageBoxCall &) { w32fake::Command(setup, IDCANCEL); });
  w32fake::OnDialog([&](HWND dialog, const std::string &) {
    setup = dialog;
    w32fake::Command(dialog, IDOK);
    log = w32fake::ListBoxItems(hList);
  });
  EXPECT_EQ(2, DialogBoxParamA(NULL, "SETUP", NULL, MyDlgProc, 0));
  EXPECT_EQ("ROVAN Setup completed.", log.back());
}

}  // namespace
