#pragma once

#include <QString>

#include <cstdint>

// A size as a person reads it: "950 bytes", "1.2 kB", "20.7 MB" (units of 1000).
QString byteText(std::int64_t bytes);
