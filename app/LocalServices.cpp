#include "app/LocalServices.h"

#include "filelist/LocalFileSystem.h"
#include "mailbridge/maildir/DefaultOutboxFolder.h"
#include "mailbridge/maildir/MaildirOutbox.h"

frmMain::ServiceFactories localServices()
{
    return {[]() -> std::unique_ptr<FileSystem> { return std::make_unique<LocalFileSystem>(); },
            [](const SettingsStore &store) -> std::unique_ptr<MailApplication> {
                return std::make_unique<MaildirOutbox>(defaultOutboxFolder(store));
            }};
}
