#pragma once

#include <QString>

#include <optional>

class QWidget;

// Asks for one existing file, modal to owner, starting at start (a file or folder): Qt's file
// dialog, or the answer a test armed. Nothing when the person cancelled.
std::optional<QString> chooseFile(QWidget *owner, const QString &title, const QString &start,
                                  const QString &filter);

// For tests: the next chooseFile gives this answer at once instead of opening a dialog.
void armNextChosenFile(std::optional<QString> answer);
