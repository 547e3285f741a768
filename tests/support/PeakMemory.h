#pragma once

#include <fstream>
#include <string>

// Under AddressSanitizer freed memory is held back in quarantine, and the peak says nothing
// of what the program keeps.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool peakMemoryTellsWhatIsKept = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool peakMemoryTellsWhatIsKept = false;
#else
constexpr bool peakMemoryTellsWhatIsKept = true;
#endif
#else
constexpr bool peakMemoryTellsWhatIsKept = true;
#endif

// The most memory this process ever held resident (VmHWM), in bytes; 0 when not known.
inline long long peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return 0;
}
