#pragma once
// `tabrix serve [OPTION]...`: the conversion service. Reads the arguments
// after "serve", warms one office per converter thread, listens and serves
// until SIGTERM or SIGINT; then it stops accepting, answers the requests in
// hand (each bounded by the per-item time limit), ends every office and
// returns 0. Returns 64 for a wrong flag or value and 1 when the address
// cannot be bound (message on stderr). Main thread; the global objects of
// start-up must exist.

int TkvRunServeCommand(int argc, char** argv);
