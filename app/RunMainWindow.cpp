#include "app/RunMainWindow.h"

#include "app/EventGuard.h"
#include "app/frmMain.h"

#include <QApplication>

int runMainWindow(frmMain &window)
{
    try {
        window.frmMain_Form_Load();
        window.show();
        return QApplication::exec();
    } catch (...) {
        showCurrentException(nullptr);
        return 1;
    }
}
