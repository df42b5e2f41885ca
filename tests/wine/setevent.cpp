// Sets a named event from a process of its own, as another program would:
//   setevent NAME
// Exit code 0 when the event existed and was set, 1 when it could not be
// opened or set, 2 on a wrong command line.
#include <windows.h>

#include <stdio.h>

int main(int argc, char **argv) {
  if (argc != 2) {
    printf("usage: setevent NAME\n");
    return 2;
  }
  HANDLE h = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
  if (h == NULL) {
    printf("OpenEvent %s failed: %lu\n", argv[1], (unsigned long)GetLastError());
    return 1;
  }
  BOOL ok = SetEvent(h);
  CloseHandle(h);
  return ok ? 0 : 1;
}
