#include "AccountWindowTest.h"
#include "app/FileChoice.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

class frmAccountTrustTest : public AccountWindowTest
{
protected:
    void fillImapAccount()
    {
        click(control<QRadioButton>("optImap"));
        control<QLineEdit>("txtHost")->setText("imap.example.org");
        control<QLineEdit>("txtUser")->setText("me@example.org");
    }
    void clickOk()
    {
        click(dialog().findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok));
    }
};

} // namespace

TEST_F(frmAccountTrustTest, TheAuthorityFileWaitsUnderAdvancedAndIsKeptAsCaFile)
{
    fillImapAccount();
    auto *field = control<QLineEdit>("txtCaFile");
    auto *button = control<QToolButton>("cmdCaFile");
    EXPECT_FALSE(field->isVisible()) << "rarely needed, it waits behind Advanced";
    click(control<QToolButton>("cmdAdvanced"));
    ASSERT_TRUE(field->isVisible());
    ASSERT_TRUE(button->isVisible());

    // Chosen by the button, it is shown from the home folder, as the file keeps it.
    armNextChosenFile(QDir::homePath() + "/certs/company-ca.pem");
    click(button);
    EXPECT_EQ(field->text(), "~/certs/company-ca.pem");
    // A cancelled choice leaves what was there.
    armNextChosenFile(std::nullopt);
    click(button);
    EXPECT_EQ(field->text(), "~/certs/company-ca.pem");

    clickOk();
    EXPECT_EQ(settings.values.value("MailClient/CaFile"), "~/certs/company-ca.pem");
    reopen();
    EXPECT_EQ(control<QLineEdit>("txtCaFile")->text(), "~/certs/company-ca.pem");

    // Emptied again, the key is emptied, so the system's authorities alone are trusted.
    click(control<QToolButton>("cmdAdvanced"));
    control<QLineEdit>("txtCaFile")->clear();
    clickOk();
    EXPECT_EQ(settings.values.value("MailClient/CaFile", "absent"), "");
}

TEST_F(frmAccountTrustTest, AnAccountThatNeverHadOneKeepsItsFileAsItWas)
{
    fillImapAccount();
    clickOk();
    EXPECT_FALSE(settings.values.contains("MailClient/CaFile"));
}
