// The install and uninstall job: what the first OK in the SETUP dialog does.
// The copying is left to the system's INF installer; the job edits the INF,
// starts the installer, looks for the packet driver and then lists the network
// bindings or offers the Control Panel network applet.
#include <stdio.h>
#include <string.h>

#include "setup.h"

char cur_dir[1024];
char win_dir[1024];
char sys_dir[1024];
char tmp[1024];
HCURSOR hOldCursor;

static const char job1[] = "RunDll32 setupapi.dll,InstallHinfSection Installrovan 0 ";
static const char job2[] = "RunDll32 setupx.dll,InstallHinfSection Installrovan 0 ";
static const char job3[] = "RunDll32 setupapi.dll,InstallHinfSection Uninstallrovan 0 ";
static const char job4[] = "RunDll32 setupx.dll,InstallHinfSection Uninstallrovan 0 ";

// Set while the job runs. A prompt box of the job leaves the SETUP dialog
// enabled, so OK can arrive again before `installed` is set: the job never
// runs inside itself, such an OK is ignored.
static int jobRunning;

namespace {

const int kReportLines = 20;  // pieces of the report examined, empty ones included

void Log(const char *line) { SendMessageA(hList, LB_ADDSTRING, 0, (LPARAM)line); }

// Composes the three pieces into a 1024-byte buffer. A text that would not fit
// is refused, never cut: a shortened path would name another file.
int Join(char *out, const char *a, const char *b, const char *c) {
  int n = snprintf(out, 1024, "%s%s%s", a, b, c);
  if (n >= 0 && n < 1024) return 1;
  out[0] = 0;
  return 0;
}

// The failed start of the INF installer, and every command line or path that
// does not fit its buffer: the job's last line.
void Abort(int code) {
  snprintf(buf, sizeof buf, "ERROR: %d Operation aborted.", code);
  Log(buf);
}

void Start(char *cmdLine, int *code) {
  hOldCursor = SetCursor(hNewCursor);
  *code = exec(cmdLine);
  SetCursor(hOldCursor);
}

// A Control Panel that cannot be started is not reported and the job goes
// on; a command line that would not fit is treated the same way: not started.
void StartControlPanel(const char *applet) {
  int code;
  if (Join(buf, "control.exe ", sys_dir, applet)) Start(buf, &code);
}

void Prompt(const char *text, const char *applet) {
  // Only Cancel declines; a box that cannot be shown (0) counts as consent.
  if (kprintf(text) != IDCANCEL) StartControlPanel(applet);
}

void ListReport(void) {
  GetConf(buf, sizeof buf);
  char *piece = buf;
  for (int i = 0; i < kReportLines; i++) {
    char *end = strchr(piece, '\n');
    if (end == NULL) break;
    *end = 0;
    if (*piece) Log(piece);
    piece = end + 1;
  }
}

// A directory that does not fit its buffer would leave it empty or stale and
// the job would work on another folder: refused like a command line.
int ReadDirectories(void) {
  cur_dir[0] = win_dir[0] = sys_dir[0] = 0;
  DWORD cur = GetCurrentDirectoryA(sizeof cur_dir, cur_dir);
  UINT win = GetWindowsDirectoryA(win_dir, sizeof win_dir);
  UINT sys = GetSystemDirectoryA(sys_dir, sizeof sys_dir);
  return cur < sizeof cur_dir && win < sizeof win_dir && sys < sizeof sys_dir;
}

void Job(void) {
  const char *inf = platform ? "rovan_nt.inf" : "rovan_95.inf";
  if (!ReadDirectories()) return Abort(ERROR_FILENAME_EXCED_RANGE);

  int fits;
  if (!uninst)
    fits = Join(buf, platform ? job1 : job2, cur_dir, platform ? "\\rovan_nt.inf" : "\\rovan_95.inf");
  else
    fits = Join(buf, platform ? job3 : job4, win_dir, platform ? "\\inf\\rovan_nt.inf" : "\\inf\\rovan_95.inf");
  if (!fits) return Abort(ERROR_FILENAME_EXCED_RANGE);

  if (!uninst) {
    if (!Join(tmp, win_dir, "\\inf\\", inf)) return Abort(ERROR_FILENAME_EXCED_RANGE);
    DeleteFileA(tmp);
    const char *local = platform ? ".\\rovan_nt.inf" : ".\\rovan_95.inf";
    WritePrivateProfileStringA("Strings", "SOURCE", cur_dir, local);
    WritePrivateProfileStringA("Strings", "DEST", dir, local);
  }

  int code;
  Start(buf, &code);
  if (code != 0) return Abort(code);

  if (platform) {
    if (CheckQuibex() == ERROR_SUCCESS) {
      if (!uninst)
        ListReport();
      else
        Prompt("Click OK to uninstall the QUIBEX Driver with Control Panel Network...\n", "\\ncpa.cpl");
    } else if (!uninst) {
      Sleep(5000);
      Prompt("The ROVAN QUIBEX Driver is not installed.\nClick OK to install the QUIBEX Driver with Control Panel "
             "Network...\n",
             "\\ncpa.cpl");
    }
  } else {
    if (CheckQuibex95("QBXTAP") == 1) {
      if (!uninst)
        ListReport();
      else
        Prompt("Click OK to uninstall the ROVAN QUIBEX Driver...\n", "\\netcpl.cpl");
    } else if (!uninst) {
      Prompt("The ROVAN QUIBEX Driver is not installed. Click OK to install it.\n", "\\netcpl.cpl");
    }
  }

  SendMessageA(hList, LB_SETTOPINDEX, 100, 0);
  Log(uninst ? "ROVAN Uninstall completed." : "ROVAN Setup completed.");
}

}  // namespace

void RunJob(void) {
  if (jobRunning) return;
  jobRunning = 1;
  Job();
  installed = 1;
  jobRunning = 0;
}

int exec(char *cmdLine) {
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  GetStartupInfoA(&startup);
  memset(&process, 0, sizeof process);
  if (!CreateProcessA(NULL, cmdLine, NULL, NULL, FALSE, CREATE_NEW_CONSOLE | HIGH_PRIORITY_CLASS, NULL, cur_dir,
                      &startup, &process))
    return (int)GetLastError();
  // Nothing waits for the child: its handles are let go at once.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
