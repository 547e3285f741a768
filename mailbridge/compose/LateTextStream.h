#pragma once

#include "mailbridge/compose/GObjectPtr.h"

#include <QByteArray>

#include <exception>
#include <functional>

#include "mailbridge/compose/GMimeHeaders.h"

// A read-only GMime stream of text made only when it is first read: for a part whose text
// depends on what the parts before it read. Its length is fixed when it is opened, so that the
// message can be measured beforehand; make must give exactly that many bytes. What make
// throws, or text of another length, fails the read and waits in the stream for the caller.
GObjectPtr<GMimeStream> openLateTextStream(qsizetype length, std::function<QByteArray()> make);

// What made a read fail; null when nothing did or the stream is of another type.
std::exception_ptr lateTextStreamFailure(GMimeStream *stream);
