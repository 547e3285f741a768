#pragma once

#include "mailbridge/compose/GMimeHeaders.h"
#include "mailbridge/compose/GObjectPtr.h"

#include <QByteArray>
#include <QString>

// A text/plain part in UTF-8 whose text comes from content, as it is (no transfer encoding).
// It goes as 7bit when sample is printable ASCII in lines of at most 76 characters, else as
// quoted-printable; sample is the text, or text of the same shape when the text is made
// later. With a file name the part is an attachment a reader can save, else the inline body.
GObjectPtr<GMimeObject> newTextPart(GMimeStream *content, const QByteArray &sample,
                                    const QString &fileName = QString());
