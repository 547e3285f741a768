#pragma once

#include <string>
#include <vector>

// One program run to its end, measured from start to reaped.
struct ChildRun
{
    double seconds = 0;
    double cpuSeconds = 0; // user and system
    long peakKib = 0;      // peak resident memory
    int status = 0;        // exit code, or 128 + the signal; 127 when it could not start
};

// Runs the program (looked up on PATH unless the name has a '/') with these arguments.
ChildRun runChild(const std::vector<std::string> &arguments);
