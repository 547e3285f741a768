#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// The folder's files matching the pattern, by name, as whole paths.
QStringList filesIn(const QString &folder, const QString &pattern);

// A file of random bytes, the same for the same seed, so that runs compare like with like.
void writeRandomFile(const QString &path, std::int64_t size, quint32 seed);
