#pragma once
// The window road of the program: creates the application's windows, runs the
// message loop until the main window closes and returns the exit code. With
// no display to open windows on, says so on stderr and returns 1 before Qt
// is started. Main thread only; the process-wide objects already exist.
int TkvRunWindowRoad(int& argc, char** argv);
