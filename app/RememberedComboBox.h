#pragma once

#include <QComboBox>

// An editable drop-down over an unsorted list that reports which entry the user chose, or -1
// once its text was typed or edited (QComboBox keeps its current index through edits).
class RememberedComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit RememberedComboBox(QWidget *parent = nullptr);

    // Makes entry `position` the text, as if the user had picked it.
    void choose(int position);
    // Puts a text into the field that no entry was chosen for.
    void setTypedText(const QString &text);
    int chosenPosition() const { return m_chosen; }

private:
    int m_chosen = -1;
};
