#include "app/EventGuard.h"
#include "app/LocalServices.h"
#include "app/RunMainWindow.h"
#include "cli/CommandLine.h"
#include "cli/StandardStreams.h"
#include "filelist/QtFolderChooser.h"
#include "settings/QtSettingsStore.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    reserveStandardStreams();
    // The command line needs no display: it never makes a QApplication.
    if (wantsCommandLine(argc, argv))
        return runCommandLine(argc, argv);

    try {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Ferrymail"));
        QApplication::setOrganizationName(QStringLiteral("Ferrymail"));

        QtSettingsStore settings;
        QtFolderChooser folderChooser;
        frmMain window(settings, folderChooser, localServices());
        return runMainWindow(window);
    } catch (...) {
        // Only before or after the window's life: no box can be shown any more.
        std::fprintf(stderr, "Ferrymail: %s\n", qPrintable(describeCurrentException()));
        return 1;
    }
}
