// Reference for the footprint benchmark: the smallest console program of the
// same toolchain and flags, which prints one line.
#include <stdio.h>
int main(void) {
  printf("reference\n");
  return 0;
}
