#include "about/frmAbout.h"

#include "about/AboutTexts.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <climits>

namespace {

QString withLf(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

class frmAboutTest : public ::testing::Test
{
protected:
    frmAbout dialog;

    template <typename T> T *control(const char *name)
    {
        T *found = dialog.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLabel *label(const char *name) { return control<QLabel>(name); }
    QPlainTextEdit *instructions() { return control<QPlainTextEdit>("txtInstructions"); }
    QPushButton *ok() { return control<QPushButton>("btnOK"); }

    void showAndActivate()
    {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
};

TEST_F(frmAboutTest, FixedTitledWindowWithoutCloseBox)
{
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Ferrymail"));
    EXPECT_EQ(dialog.size(), QSize(384, 408));
    EXPECT_EQ(dialog.minimumSize(), QSize(384, 408));
    EXPECT_EQ(dialog.maximumSize(), QSize(384, 408));
    EXPECT_TRUE(dialog.isModal());
    EXPECT_FALSE(dialog.testAttribute(Qt::WA_SetWindowIcon));

    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_EQ(dialog.windowType(), Qt::Dialog);
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    for (Qt::WindowType absent :
         {Qt::WindowSystemMenuHint, Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
          Qt::WindowMaximizeButtonHint, Qt::WindowContextHelpButtonHint})
        EXPECT_FALSE(flags.testFlag(absent)) << absent;
}

TEST_F(frmAboutTest, ControlsSitWhereTheTwipsSay)
{
    const std::pair<const char *, QRect> places[] = {
        {"Image2", QRect(8, 8, 32, 32)},
        {"lblTitle", QRect(56, 8, 233, 25)},
        {"lblText", QRect(56, 32, 313, 209)},
        {"Image1", QRect(8, 48, 32, 32)},
        {"txtInstructions", QRect(48, 248, 329, 113)},
        {"btnOK", QRect(160, 368, 81, 33)},
    };
    for (const auto &[name, rect] : places) {
        QWidget *widget = control<QWidget>(name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), rect) << name;
        EXPECT_EQ(widget->parentWidget(), &dialog) << name;
    }
    EXPECT_TRUE(dialog.rect().contains(control<QWidget>("txtInstructions")->geometry()));
    EXPECT_TRUE(dialog.rect().contains(ok()->geometry()));
}

TEST_F(frmAboutTest, PicturesAreTheSendButtonsAndTheEmblem)
{
    const std::pair<const char *, const char *> pictures[] = {
        {"Image2", ":/icons/send-32.png"},
        {"Image1", ":/icons/emblem-32.png"},
    };
    for (const auto &[name, resource] : pictures) {
        QLabel *picture = label(name);
        ASSERT_NE(picture, nullptr);
        const QPixmap shown = picture->pixmap();
        ASSERT_FALSE(shown.isNull()) << name;
        EXPECT_EQ(shown.toImage(), QPixmap(QString::fromLatin1(resource)).toImage()) << name;
    }
}

TEST_F(frmAboutTest, TextsAreSetAtLoad)
{
    QLabel *title = label("lblTitle");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("Ferrymail V1.0"));
    EXPECT_EQ(title->font().pointSize(), 12);
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->font().family(), QApplication::font().family());

    QLabel *text = label("lblText");
    ASSERT_NE(text, nullptr);
    // CR draws as nothing in a label, so the text goes in as it is.
    EXPECT_EQ(text->text(), aboutText());
    EXPECT_EQ(text->textFormat(), Qt::PlainText);
    EXPECT_TRUE(text->wordWrap());
    EXPECT_TRUE(text->alignment().testFlag(Qt::AlignTop));

    QPlainTextEdit *field = instructions();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->toPlainText(), withLf(instructionsText()));
    EXPECT_TRUE(field->isReadOnly());
    EXPECT_EQ(field->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(field->lineWrapMode(), QPlainTextEdit::WidgetWidth);

    EXPECT_EQ(ok()->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok()->isDefault());
}

TEST_F(frmAboutTest, WholeAboutTextFitsItsLabel)
{
    QLabel *text = label("lblText");
    ASSERT_NE(text, nullptr);
    const QRect room = text->contentsRect();
    const QRect needed = text->fontMetrics().boundingRect(
        QRect(0, 0, room.width(), INT_MAX), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
        text->text());
    EXPECT_LE(needed.height(), room.height());
    EXPECT_LE(needed.width(), room.width());
    EXPECT_GE(text->font().pointSize(), 7);
    EXPECT_EQ(text->font().family(), QApplication::font().family());
}

TEST_F(frmAboutTest, LoadingAgainOrReopeningShowsTheSameTexts)
{
    const QString about = label("lblText")->text();
    const QString shown = instructions()->toPlainText();

    const QFont aboutFont = label("lblText")->font();
    dialog.frmAbout_Form_Load();
    EXPECT_EQ(label("lblText")->text(), about);
    EXPECT_EQ(label("lblText")->font(), aboutFont);
    EXPECT_EQ(instructions()->toPlainText(), shown);

    frmAbout again;
    EXPECT_EQ(again.findChild<QLabel *>(QStringLiteral("lblText"))->text(), about);
    EXPECT_EQ(again.findChild<QPlainTextEdit *>(QStringLiteral("txtInstructions"))->toPlainText(),
              shown);
}

TEST_F(frmAboutTest, FocusOpensOnOkAndTabSkipsTheLabels)
{
    showAndActivate();
    EXPECT_EQ(QApplication::focusWidget(), ok());
    for (const char *name : {"Image1", "Image2", "lblTitle", "lblText"})
        EXPECT_EQ(control<QWidget>(name)->focusPolicy(), Qt::NoFocus) << name;

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), instructions());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ok());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), instructions());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), ok());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(frmAboutTest, EnterClosesFromEitherControl)
{
    const std::pair<Qt::Key, Qt::KeyboardModifiers> enters[] = {
        {Qt::Key_Return, Qt::NoModifier},
        {Qt::Key_Enter, Qt::KeypadModifier},
    };
    for (const auto &[key, modifiers] : enters) {
        for (QWidget *target :
             {static_cast<QWidget *>(ok()), static_cast<QWidget *>(instructions())}) {
            showAndActivate();
            target->setFocus();
            dialog.setResult(QDialog::Rejected);
            QTest::keyClick(target, key, modifiers);
            EXPECT_FALSE(dialog.isVisible()) << target->objectName().toStdString();
            EXPECT_EQ(dialog.result(), QDialog::Accepted) << target->objectName().toStdString();
        }
    }
    EXPECT_EQ(instructions()->toPlainText(), withLf(instructionsText()));
}

TEST_F(frmAboutTest, EscapeDoesNothing)
{
    showAndActivate();
    for (QWidget *target : {static_cast<QWidget *>(ok()), static_cast<QWidget *>(instructions())}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible()) << target->objectName().toStdString();
        EXPECT_EQ(QApplication::focusWidget(), target);
    }
}

TEST_F(frmAboutTest, ModalRunSurvivesEscapeAndEndsOnEnter)
{
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    owner.show();
    frmAbout modal(&owner);

    bool openAfterEscape = false;
    QWidget *activeModal = nullptr;
    QPoint centreOffset;
    QTimer::singleShot(0, [&] {
        activeModal = QApplication::activeModalWidget();
        if (!activeModal)
            return;
        centreOffset = activeModal->geometry().center() - owner.geometry().center();
        QTest::keyClick(activeModal, Qt::Key_Escape);
        openAfterEscape = activeModal->isVisible();
        QTest::keyClick(activeModal, Qt::Key_Return);
    });
    EXPECT_EQ(modal.exec(), QDialog::Accepted);
    EXPECT_EQ(activeModal, &modal);
    EXPECT_TRUE(openAfterEscape);
    EXPECT_LE(centreOffset.manhattanLength(), 2);
}

TEST_F(frmAboutTest, InstructionsAreSelectableButNotEditable)
{
    showAndActivate();
    QPlainTextEdit *field = instructions();
    field->setFocus();
    const QString shown = field->toPlainText();

    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClicks(field, QStringLiteral("typed"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(field->toPlainText(), shown);
    EXPECT_TRUE(dialog.isVisible());

    // Ctrl+A above selected it all; copying takes the selection out.
    ASSERT_TRUE(field->textCursor().hasSelection());
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(withLf(QApplication::clipboard()->text()), shown);

    // The keyboard alone can pick out part of it.
    QTest::keyClick(field, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(field->textCursor().selectedText(), QStringLiteral("Instructions"));
}

} // namespace
