#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// What a command wrote to its error output (output, of total bytes written), as a person may
// read it: what was not kept is counted, control characters shown as \xNN (a tab and line breaks as
// spaces), so that nothing it wrote can steer a terminal.
QString readableCommandOutput(const QByteArray &output, std::size_t total);
