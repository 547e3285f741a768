#include "cli/SizeChoice.h"

#include "batch/SizeLimit.h"
#include "common/Failure.h"
#include "settings/RememberedEntries.h"

QString SizeChoice::origin() const
{
    switch (from) {
    case From::Option:
        return QStringLiteral("from --size");
    case From::Settings:
        return QStringLiteral("from the saved settings %1").arg(settingsFile);
    case From::Default:
        break;
    }
    return QStringLiteral("the default: none is saved in %1").arg(settingsFile);
}

SizeChoice chooseSize(const std::optional<QString> &option, const SettingsStore &settings,
                      const QString &settingsFile)
{
    SizeChoice choice;
    choice.settingsFile = settingsFile;
    if (option) {
        choice.text = *option;
        choice.from = SizeChoice::From::Option;
    } else if (const QString saved = RememberedEntries::savedMaxSize(settings); !saved.isEmpty()) {
        choice.text = saved;
        choice.from = SizeChoice::From::Settings;
    } else {
        choice.text = RememberedEntries::loadMaxSize(settings);
    }
    if (sizeLimitBytes(choice.text) >= 1024.0)
        return choice;
    if (choice.from == SizeChoice::From::Option)
        throw Refusal(QStringLiteral("--size %1 is below 1: the maximum message size is a number "
                                     "of kilobytes, 1 or more.")
                          .arg(choice.text));
    throw Refusal(QStringLiteral("The maximum message size %1 saved in %2 is below 1 kilobyte. "
                                 "Give --size with 1 or more.")
                      .arg(choice.text, settingsFile));
}
