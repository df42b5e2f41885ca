// Times the installer's job inside a Wine prefix: the SETUP dialog of a
// running setup.exe must be open and waiting for its first OK.
//   jobtimer LAST_LINE [INF_COMMAND]
// Prints, milliseconds each:
//   ref  <one bare start of rundll32, not waited for: the start the job makes>
//   hinf <INF_COMMAND, the bare InstallHinfSection run of the same INF, from
//         its start to its end> (only with INF_COMMAND)
//   job  <OK posted to the dialog, until LAST_LINE is the log's last line>
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

static double Now(void) {
  static LARGE_INTEGER frequency;
  LARGE_INTEGER t;
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&t);
  return (double)t.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

static double ReferenceStart(void) {
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  char command[] = "rundll32.exe";
  GetStartupInfoA(&startup);
  memset(&process, 0, sizeof process);
  double t0 = Now();
  BOOL ok = CreateProcessA(NULL, command, NULL, NULL, FALSE, CREATE_NEW_CONSOLE | HIGH_PRIORITY_CLASS, NULL, NULL,
                           &startup, &process);
  double t1 = Now();
  if (!ok) return -1;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return t1 - t0;
}

static double BareInfRun(const char *commandLine) {
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  char command[1024];
  snprintf(command, sizeof command, "%s", commandLine);
  GetStartupInfoA(&startup);
  memset(&process, 0, sizeof process);
  double t0 = Now();
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, CREATE_NEW_CONSOLE | HIGH_PRIORITY_CLASS, NULL, NULL,
                      &startup, &process))
    return -1;
  WaitForSingleObject(process.hProcess, 60000);
  double t1 = Now();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return t1 - t0;
}

static int LastLineIs(HWND list, const wchar_t *wanted) {
  DWORD_PTR count = 0, len = 0;
  if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count) || count == 0 ||
      (LRESULT)count == LB_ERR)
    return 0;
  wchar_t line[1024];
  if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, count - 1, 0, SMTO_ABORTIFHUNG, 5000, &len) || len >= 1024)
    return 0;
  if (!SendMessageTimeoutW(list, LB_GETTEXT, count - 1, (LPARAM)line, SMTO_ABORTIFHUNG, 5000, &len)) return 0;
  line[len] = 0;
  return wcscmp(line, wanted) == 0;
}

int main(int argc, char **argv) {
  if (argc != 2 && argc != 3) {
    fputs("usage: jobtimer LAST_LINE [INF_COMMAND]\n", stderr);
    return 1;
  }
  wchar_t wanted[1024];
  MultiByteToWideChar(CP_ACP, 0, argv[1], -1, wanted, 1024);
  HWND dialog = FindWindowA("SetupClass", "ROVAN Setup");
  HWND list = dialog ? GetDlgItem(dialog, 101) : NULL;
  if (list == NULL) {
    fputs("jobtimer: no SETUP dialog\n", stderr);
    return 2;
  }
  double ref = ReferenceStart();
  double hinf = argc == 3 ? BareInfRun(argv[2]) : 0;
  Sleep(300);  // let that start settle before the job's own
  double t0 = Now();
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
  while (!LastLineIs(list, wanted)) {
    if (Now() - t0 > 30000) {
      fputs("jobtimer: the job did not end in 30 s\n", stderr);
      return 2;
    }
    Sleep(0);
  }
  double job = Now() - t0;
  printf("ref %.3f\n", ref);
  if (argc == 3) printf("hinf %.3f\n", hinf);
  printf("job %.3f\n", job);
  return 0;
}
