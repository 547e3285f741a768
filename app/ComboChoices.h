#pragma once

#include <QComboBox>

#include <cstddef>

// A combo box whose rows stand for the values of an enum, in the order of values.

template <typename Value, std::size_t N>
void selectValue(QComboBox *combo, const Value (&values)[N], Value value)
{
    for (std::size_t row = 0; row < N; ++row)
        if (values[row] == value)
            combo->setCurrentIndex(int(row));
}

// The value of the row shown; the first for none.
template <typename Value, std::size_t N>
Value selectedValue(const QComboBox *combo, const Value (&values)[N])
{
    const int row = combo->currentIndex();
    return values[row >= 0 && row < int(N) ? row : 0];
}
