#include "app/FileChoice.h"

#include <QFileDialog>

namespace {

// Read and written on the window's thread only.
std::optional<std::optional<QString>> s_armed;

} // namespace

std::optional<QString> chooseFile(QWidget *owner, const QString &title, const QString &start,
                                  const QString &filter)
{
    if (s_armed) {
        const std::optional<QString> answer = *s_armed;
        s_armed.reset();
        return answer;
    }
    const QString chosen = QFileDialog::getOpenFileName(owner, title, start, filter);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

void armNextChosenFile(std::optional<QString> answer)
{
    s_armed = std::move(answer);
}
