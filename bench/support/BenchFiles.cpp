#include "support/BenchFiles.h"

#include "common/Failure.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <vector>

QStringList filesIn(const QString &folder, const QString &pattern)
{
    QStringList paths;
    for (const QString &name : QDir(folder).entryList({pattern}, QDir::Files, QDir::Name))
        paths << folder + QLatin1Char('/') + name;
    return paths;
}

void writeRandomFile(const QString &path, std::int64_t size, quint32 seed)
{
    constexpr std::int64_t mebibyte = 1024 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(QStringLiteral("Cannot create %1").arg(path));
    QRandomGenerator random(seed);
    std::vector<quint32> block(mebibyte / 4);
    for (std::int64_t left = size; left > 0;) {
        random.fillRange(block.data(), block.size());
        const auto n = std::min<std::int64_t>(left, mebibyte);
        if (file.write(reinterpret_cast<const char *>(block.data()), n) != n)
            throw Failure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
        left -= n;
    }
}
