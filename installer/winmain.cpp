// The Windows entry of setup; everything it does is in SetupStart.
#include "setup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdTail, int show) {
  (void)previous;
  (void)show;
  SetupStart(instance, cmdTail);
  return 0;
}
