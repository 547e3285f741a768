#include "mailbridge/password/SecretText.h"

#include "common/EscapedText.h"
#include "common/Failure.h"

void checkSecretText(const QString &secret, const QString &source)
{
    for (const QChar c : secret)
        if (isControlCharacter(c.unicode()))
            throw Failure(QStringLiteral("%1 gave a password or token with a control character "
                                         "in it, which no login can carry; it was not used.")
                              .arg(source));
}
