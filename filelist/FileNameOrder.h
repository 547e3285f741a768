#pragma once

#include <QStringList>

// Sorts file names ascending without regard to letter case (a.txt, B.txt, c.txt); names
// that differ in case only keep a fixed order among themselves.
void sortFileNames(QStringList &names);
