// Times start and stop cycles of services from inside the Wine prefix, where
// a status query costs microseconds rather than a wine process start:
//   svccycle CYCLES NAME...
// For each cycle and each service in turn: StartServiceA (what "sc start"
// does) until the service reports running, then ControlService(stop) (what
// "sc stop" does) until it reports stopped. One line per measurement:
//   NAME start|stop MILLISECONDS
// Before the next start of a service it waits until no process holds the
// event ROVANSTOP, so that a kernel of the last cycle cannot end the next one.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return (double)c.QuadPart * 1000.0 / (double)f.QuadPart;
}

static int WaitState(SC_HANDLE svc, DWORD want) {
  SERVICE_STATUS st;
  for (int i = 0; i < 200000; i++) {
    if (!QueryServiceStatus(svc, &st)) return 0;
    if (st.dwCurrentState == want) return 1;
    Sleep(0);
  }
  return 0;
}

static void WaitKernelGone() {
  for (int i = 0; i < 5000; i++) {
    HANDLE h = OpenEventA(SYNCHRONIZE, FALSE, "ROVANSTOP");
    if (h == NULL) return;
    CloseHandle(h);
    Sleep(1);
  }
}

int main(int argc, char **argv) {
  if (argc < 3) {
    printf("usage: svccycle CYCLES NAME...\n");
    return 2;
  }
  int cycles = atoi(argv[1]);
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (!scm) return 1;
  for (int c = 0; c < cycles; c++) {
    for (int n = 2; n < argc; n++) {
      SC_HANDLE svc = OpenServiceA(scm, argv[n], SERVICE_ALL_ACCESS);
      if (!svc) {
        printf("%s open failed %lu\n", argv[n], GetLastError());
        return 1;
      }
      WaitKernelGone();
      double t0 = Now();
      if (!StartServiceA(svc, 0, NULL) || !WaitState(svc, SERVICE_RUNNING)) {
        printf("%s start failed %lu\n", argv[n], GetLastError());
        return 1;
      }
      double t1 = Now();
      SERVICE_STATUS_PROCESS sp;
      DWORD needed;
      HANDLE proc = NULL;
      if (QueryServiceStatusEx(svc, SC_STATUS_PROCESS_INFO, (LPBYTE)&sp, sizeof sp, &needed))
        proc = OpenProcess(SYNCHRONIZE, FALSE, sp.dwProcessId);
      double t1b = Now();
      SERVICE_STATUS st;
      if (!ControlService(svc, SERVICE_CONTROL_STOP, &st) || !WaitState(svc, SERVICE_STOPPED)) {
        printf("%s stop failed %lu\n", argv[n], GetLastError());
        return 1;
      }
      double t2 = Now();
      WaitKernelGone();
      double t3 = Now();
      printf("%s start %.3f\n%s stop %.3f\n%s stopkernel %.3f\n", argv[n], t1 - t0, argv[n], t2 - t1b, argv[n],
             t3 - t1b);
      fflush(stdout);
      // The next start only once the stopped process is gone.
      if (proc) {
        WaitForSingleObject(proc, 10000);
        CloseHandle(proc);
      }
      CloseServiceHandle(svc);
    }
  }
  CloseServiceHandle(scm);
  return 0;
}
