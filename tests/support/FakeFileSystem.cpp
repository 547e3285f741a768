#include "support/FakeFileSystem.h"

#include "common/Failure.h"

QStringList FakeFileSystem::FileNames(const QString &folder) const
{
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    QStringList names;
    for (auto it = m_sizes.begin(); it != m_sizes.end(); ++it)
        if (it.key().startsWith(prefix) && !it.key().mid(prefix.size()).contains(QLatin1Char('/')))
            names << it.key().mid(prefix.size());
    return names;
}

qint64 FakeFileSystem::FileSize(const QString &path) const
{
    sizeLookups << path;
    const auto it = m_sizes.find(path);
    if (it == m_sizes.end())
        throw Failure(QStringLiteral("File not found: ") + path);
    return it.value();
}
