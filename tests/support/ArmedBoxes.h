#pragma once

#include <QMessageBox>

#include <functional>
#include <gtest/gtest.h>

// Message boxes in the window tests: a box a case did not arm an answer for fails the case
// instead of waiting for a click that never comes.
namespace ArmedBoxes {

// Every box and every question fails the running case, naming it. Installed before every
// case.
void failUnarmed();

// Shows the next box for real, as a modal box over `parent`, and hands it to `answer` once it
// is open; whatever `answer` leaves open is closed. Boxes after it fail again.
void showNextForReal(QWidget *parent, std::function<void(QMessageBox *box)> answer);

// Installs failUnarmed before every case.
class FailUnarmedBeforeEveryCase : public testing::EmptyTestEventListener
{
public:
    void OnTestStart(const testing::TestInfo &) override { failUnarmed(); }
};

} // namespace ArmedBoxes
