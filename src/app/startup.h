#pragma once
// The program's entry: creates the process-wide objects (application,
// product information, project, unattended-run controller), sets the
// product profile, reads the command line, installs the file-name matcher
// and takes one of two roads: the unattended run (PureConsole and no "http"
// in Source) or `windowRoad`, which creates its own QApplication and runs
// the windows. Returns the process exit code: 0 after either road, 1 with
// the message on stderr when an error escapes. "--help" and "--version"
// print to stdout and return 0 before anything else. A word beginning with
// "-" that is no switch of the first argument and names no file ends the
// program with 64 and a hint. Warnings about the options read (unknown keys,
// values their key cannot take, a bare folder as Source) go to stderr; they
// change nothing. Main thread only.

using TkvWindowRoad = int (*)(int& argc, char** argv);
// A command road: the "convert" spelling of the command line (first
// argument exactly "convert") or the service (exactly "serve"): runs after
// the product profile is set, with the global objects in place, instead of
// the first-argument rules; returns the exit code.
using TkvCommandRoad = int (*)(int argc, char** argv);

int TkvStartProgram(int argc, char** argv, TkvWindowRoad windowRoad,
                    TkvCommandRoad convertRoad = nullptr, TkvCommandRoad serveRoad = nullptr);

// The unattended road alone (QCoreApplication created here), for a program
// without windows: the global objects must exist. Throws what the run throws.
// Returns 0, or 2 when StrictExit is set and an item failed or a source
// matched nothing, or (`failedItemsExit2`, the `convert` road) an item
// failed. A watch ends with 0.
int TkvRunUnattendedRoad(int& argc, char** argv, bool failedItemsExit2 = false);
