#include "app/MessageBoxes.h"
#include "app/frmMain.h"
#include "common/Failure.h"
#include "filelist/LocalFileSystem.h"
#include "filelist/QtFolderChooser.h"
#include "mailbridge/DefaultOutboxFolder.h"
#include "mailbridge/MaildirOutbox.h"
#include "settings/QtSettingsStore.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferrymail"));
    QApplication::setOrganizationName(QStringLiteral("Ferrymail"));

    QtSettingsStore settings;
    QtFolderChooser folderChooser;
    frmMain window(
        settings, folderChooser,
        {[]() -> std::unique_ptr<FileSystem> { return std::make_unique<LocalFileSystem>(); },
         [](const SettingsStore &store) -> std::unique_ptr<MailApplication> {
             return std::make_unique<MaildirOutbox>(defaultOutboxFolder(store));
         }});
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
