#pragma once

#include <QString>

// Moves this process into user, network and mount namespaces of its own: root inside, only a
// loopback interface (brought up), and mounts private to it. Must run before any thread is
// started. Exits with a message when the kernel refuses (unprivileged user namespaces off).
void enterOwnNetwork();

// Points the system resolver of this process and its children at nameserver by putting a
// resolv.conf of our own over /etc/resolv.conf (inside the mount namespace only).
void useNameserver(const QString &nameserver, const QString &scratchFolder);
