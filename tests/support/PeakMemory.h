#pragma once

#include <fstream>
#include <string>

// The most memory this process ever held resident (VmHWM), in bytes; 0 when not known.
inline long long peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}
