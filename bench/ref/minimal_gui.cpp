// Reference for the footprint benchmark: the smallest GUI program of the same
// toolchain and flags, which shows one message box.
#include <windows.h>
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(NULL, "reference", "reference", MB_OK);
  return 0;
}
