// The service program's entry: everything else links into the unit tests.
#include "service.h"

int main(int argc, char **argv) { return ServiceProgram(argc, argv); }
