#pragma once

// `ferrymail send ...`, `ferrymail --help`, `ferrymail --version`: true when the arguments
// ask for the command line rather than the window.
bool wantsCommandLine(int argc, char **argv);

// Runs the command line on this machine's services; returns the exit code.
int runCommandLine(int argc, char **argv);
