#pragma once
#include "windows.h"
void InitCommonControls(void);
