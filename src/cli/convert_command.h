#pragma once
// `tabrix convert [OPTION]... SOURCE...`: reads the arguments after
// "convert" into the project's options (a project file first when one is
// named, then the flags in order, then the sources) and takes the unattended
// road, whatever the sources are; no window is ever opened. Returns 0, 2
// (StrictExit with a failed file), 64 for a wrong flag or value (message on
// stderr); errors of the run itself escape to the caller (exit code 1).
// Main thread; the global objects of start-up must exist.

int TkvRunConvertCommand(int argc, char** argv);
