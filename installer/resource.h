// Control ids of the SETUP dialog, shared by the resource script and the code.
#pragma once
#define ID_LOG 101   // the log list box
#define ID_HELP 102  // the Help button
