#pragma once

class frmMain;

// Loads the window, shows it and runs the event loop until it closes; returns the program's
// exit code. Whatever is thrown is shown in a box and ends the program with 1: without its
// services the tool can do nothing.
int runMainWindow(frmMain &window);
