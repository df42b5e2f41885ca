#include "setup.h"

// Until the job is in place, the first OK only marks it as run.
void RunJob(void) { installed = 1; }
