#pragma once

#include "DovecotServer.h"
#include "support/TestTools.h"
#include "support/oauth/AuthorizationServer.h"

#include <QTemporaryDir>

#include <sys/stat.h>

// A Dovecot whose oauth2 passdb asks server's introspection about each token, announcing
// mechanisms. The passdb's settings go into folder.
inline DovecotOptions tokenLogins(const AuthorizationServer &server, const QTemporaryDir &folder,
                                  const QString &mechanisms)
{
    const QString settings = folder.filePath("oauth2.conf.ext");
    writeFile(settings, QStringLiteral("introspection_mode = post\n"
                                       "introspection_url = %1\n"
                                       "username_attribute = username\n"
                                       "active_attribute = active\n"
                                       "active_value = true\n")
                            .arg(server.url("/introspect").toString())
                            .toUtf8());
    // Dovecot's auth process runs as its own user when the tests run as root.
    ::chmod(QFile::encodeName(folder.path()).constData(), 0755);
    ::chmod(QFile::encodeName(settings).constData(), 0644);
    DovecotOptions options;
    options.extraConfiguration = QStringLiteral("auth_mechanisms = %1\n"
                                                "passdb {\n"
                                                "  driver = oauth2\n"
                                                "  mechanisms = xoauth2 oauthbearer\n"
                                                "  args = %2\n"
                                                "}\n")
                                     .arg(mechanisms, settings);
    return options;
}
