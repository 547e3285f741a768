#pragma once

#include <QString>

// Moves this process into a network namespace of its own with only a loopback interface
// (brought up), and mounts private to it. Unprivileged through a user namespace of its own
// (root inside); where the kernel refuses that (in a chroot) but the process is root, without
// one. Must run before any thread is started. Never exits: what the machine does not give is
// kept for the cases to skip on.
void enterOwnNetwork();

// Gives the loopback interface one more IPv4 address, such as 192.0.2.2, so that a server of
// the test's can stand for another machine: reachable only from inside. Empty when done,
// otherwise why not.
QString addLoopbackAddress(const char *address);

// Why this process has no network of its own; empty when it has one.
QString ownNetworkMissing();

// Why useNameserver cannot work here (mounts shared with the machine); empty when it can.
QString privateMountsMissing();

// Points the system resolver of this process and its children at nameserver by putting a
// resolv.conf of our own over /etc/resolv.conf (inside the mount namespace only).
void useNameserver(const QString &nameserver, const QString &scratchFolder);
