#include "mailbridge/password/HeldPasswordStore.h"

HeldPasswordStore::HeldPasswordStore(const QString &key, const std::optional<QString> &password)
{
    if (password)
        m_passwords.insert(key, *password);
}

std::optional<QString> HeldPasswordStore::read(const QString &key)
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_passwords.constFind(key);
    return found == m_passwords.cend() ? std::nullopt : std::optional(*found);
}

void HeldPasswordStore::write(const QString &key, const QString &password)
{
    const std::lock_guard lock(m_mutex);
    m_passwords.insert(key, password);
    m_written.insert(key, password);
}

void HeldPasswordStore::remove(const QString &key)
{
    const std::lock_guard lock(m_mutex);
    m_passwords.remove(key);
    m_written.remove(key);
}

QMap<QString, QString> HeldPasswordStore::written() const
{
    const std::lock_guard lock(m_mutex);
    return m_written;
}
