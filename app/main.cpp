#include "app/LocalServices.h"
#include "app/MessageBoxes.h"
#include "cli/CommandLine.h"
#include "common/Failure.h"
#include "filelist/QtFolderChooser.h"
#include "settings/QtSettingsStore.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // The command line needs no display: it never makes a QApplication.
    if (wantsCommandLine(argc, argv))
        return runCommandLine(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferrymail"));
    QApplication::setOrganizationName(QStringLiteral("Ferrymail"));

    QtSettingsStore settings;
    QtFolderChooser folderChooser;
    frmMain window(settings, folderChooser, localServices());
    try {
        window.frmMain_Form_Load();
    } catch (const Failure &failure) {
        // Without its services the tool can do nothing: say why and end.
        MessageBoxes::showFailure(nullptr, failure.description());
        return 1;
    }
    window.show();
    return app.exec();
}
