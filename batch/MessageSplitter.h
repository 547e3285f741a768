#pragma once

#include <cstdint>

// The closing rule, in one place: files go into the open message in list order, and the
// message closes as soon as its files reach the limit (a file over the limit closes the
// message it joins, so it travels alone only as the first file of its message).
class MessageSplitter
{
public:
    explicit MessageSplitter(double limitBytes) : m_limit(limitBytes) {}

    // Adds a file to the open message; true when that closes it.
    bool add(std::int64_t size)
    {
        m_total += size;
        ++m_files;
        if (double(m_total) < m_limit)
            return false;
        m_total = 0;
        m_files = 0;
        return true;
    }
    // The open message's files and their total, before the file that closes it is added.
    std::int64_t openBytes() const { return m_total; }
    int openFiles() const { return m_files; }

private:
    double m_limit;
    std::int64_t m_total = 0;
    int m_files = 0;
};
