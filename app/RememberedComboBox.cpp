#include "app/RememberedComboBox.h"

#include <QLineEdit>

RememberedComboBox::RememberedComboBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    // Enter sends; it must never add the text to the list or complete it to another entry.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setDuplicatesEnabled(true);
    connect(this, &QComboBox::activated, this, [this](int position) { m_chosen = position; });
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_chosen = -1; });
}

void RememberedComboBox::choose(int position)
{
    setCurrentIndex(position);
    setEditText(itemText(position));
    m_chosen = position;
}

void RememberedComboBox::setTypedText(const QString &text)
{
    setEditText(text);
    m_chosen = -1;
}
