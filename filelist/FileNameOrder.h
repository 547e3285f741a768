#pragma once

#include <QCollator>
#include <QLocale>
#include <QStringList>

// How file names compare in the list: the locale's collation without regard to case.
QCollator fileNameCollator(const QLocale &locale);

// Sorts file names ascending as the person's locale does, without regard to letter case
// (a.txt, B.txt, c.txt, "ärger" among the a's); names the collation holds equal keep a fixed
// order among themselves.
void sortFileNames(QStringList &names, const QLocale &locale = QLocale());
