#pragma once

#include "app/frmAccount.h"
#include "support/MemoryPasswordStore.h"
#include "support/MemorySettingsStore.h"

#include <QRadioButton>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

// The Mail account window as a person meets it, over settings and a keyring of the test's
// own: shown and active, with clicks delivered to its window.
class AccountWindowTest : public testing::Test
{
protected:
    frmAccount &dialog()
    {
        if (!m_dialog) {
            m_dialog = std::make_unique<frmAccount>(settings, keyring, nullptr);
            m_dialog->show();
            m_dialog->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(m_dialog.get()));
        }
        return *m_dialog;
    }
    template <typename W> W *control(const char *name)
    {
        W *widget = dialog().findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    // A radio button takes clicks on its circle and label only, at its left.
    void click(QWidget *widget)
    {
        const QPoint at = qobject_cast<QRadioButton *>(widget) ? QPoint(8, widget->height() / 2)
                                                               : widget->rect().center();
        QTest::mouseClick(dialog().windowHandle(), Qt::LeftButton, {},
                          widget->mapTo(&dialog(), at));
    }
    // The window closed and opened again over the same settings.
    void reopen() { m_dialog.reset(); }

    MemorySettingsStore settings;
    MemoryPasswordStore keyring;

private:
    std::unique_ptr<frmAccount> m_dialog;
};
