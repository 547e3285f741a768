#pragma once

#include <QByteArray>

// The Message-Id of the message text in the file fd, read from its header block; empty
// when it has none or cannot be read.
QByteArray messageIdOf(int fd);
