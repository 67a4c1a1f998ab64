#pragma once
// The window road of the program: creates the application's windows, runs the
// message loop until the main window closes and returns the exit code.
// Main thread only; the process-wide objects already exist.
int TkvRunWindowRoad(int& argc, char** argv);
