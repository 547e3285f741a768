#pragma once

#include "mailbridge/compose/GObjectPtr.h"

#include <exception>
#include <functional>

#include "mailbridge/compose/GMimeHeaders.h"

// A write-only GMime stream that hands every write, on the writing thread, to a function;
// an exception the function throws fails that write and every later one, and waits in the
// stream for the C++ caller (GMime cannot pass it on).
GObjectPtr<GMimeStream>
openCallbackOutputStream(std::function<void(const char *, std::size_t)> write);

// What made a write fail; null when nothing did or the stream is of another type.
std::exception_ptr callbackOutputStreamFailure(GMimeStream *stream);
