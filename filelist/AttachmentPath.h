#pragma once

#include <QString>

// The folder and a file name joined with one separator, never two.
QString attachmentPath(const QString &folder, const QString &name);
