#include "about/frmAbout.h"

#include "about/AboutTexts.h"
#include "support/TestTools.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <climits>

namespace {

// What the main window hands over for where messages go now.
const QString onSend = QStringLiteral("Each message goes out at once to the recipients.");

QString withLf(QString text)
{
    return text.replace("\r\n", "\n");
}

template <typename T = QWidget> T *child(const QWidget &parent, const char *name)
{
    T *found = parent.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// What loading puts in place, in any dialog and however often it ran.
void expectTexts(const frmAbout &shown)
{
    QLabel *text = child<QLabel>(shown, "lblText");
    QPlainTextEdit *field = child<QPlainTextEdit>(shown, "txtInstructions");
    ASSERT_TRUE(text && field);
    // CR draws as nothing in a label, so the text goes in as it is.
    EXPECT_EQ(text->text(), aboutText());
    EXPECT_EQ(field->toPlainText(), withLf(instructionsText(onSend)));

    const QRect room = text->contentsRect();
    const QRect needed = text->fontMetrics().boundingRect(
        QRect(0, 0, room.width(), INT_MAX), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
        text->text());
    EXPECT_LE(needed.height(), room.height());
    EXPECT_LE(needed.width(), room.width());
    EXPECT_GE(text->font().pointSize(), 7);
    EXPECT_EQ(text->font().family(), QApplication::font().family());
}

class frmAboutTest : public ::testing::Test
{
protected:
    frmAbout dialog{onSend};

    QLabel *label(const char *name) { return child<QLabel>(dialog, name); }
    QPlainTextEdit *instructions() { return child<QPlainTextEdit>(dialog, "txtInstructions"); }
    QPushButton *ok() { return child<QPushButton>(dialog, "btnOK"); }

    void showAndActivate()
    {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
};

TEST_F(frmAboutTest, FixedTitledModalWindowWithoutCloseBox)
{
    EXPECT_EQ(dialog.windowTitle(), "About Ferrymail");
    // Wider and taller than drawn, so that the instructions show; fixed at that.
    for (const QSize &size : {dialog.minimumSize(), dialog.maximumSize()})
        EXPECT_EQ(size, dialog.size());
    EXPECT_EQ(dialog.width(), 576);
    EXPECT_GT(dialog.height(), 408);
    EXPECT_LE(dialog.height(), dialog.screen()->availableGeometry().height());
    EXPECT_TRUE(dialog.isModal());
    EXPECT_FALSE(dialog.testAttribute(Qt::WA_SetWindowIcon));
    // A title bar alone: no system menu, close, minimise, maximise or help box.
    EXPECT_EQ(dialog.windowFlags(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

TEST_F(frmAboutTest, ControlsSitWhereTheTwipsSayAndPicturesAreTheSendButtonsAndTheEmblem)
{
    const int taller = dialog.height() - 408;
    const std::tuple<const char *, QRect, const char *> places[] = {
        {"Image2", QRect(8, 8, 32, 32), ":/icons/send-32.png"},
        {"lblTitle", QRect(56, 8, 233, 25), nullptr},
        {"lblText", QRect(56, 32, 313, 209), nullptr},
        {"Image1", QRect(8, 48, 32, 32), ":/icons/emblem-32.png"},
        {"txtInstructions", QRect(48, 248, 521, 113 + taller), nullptr},
        {"btnOK", QRect(256, 368 + taller, 81, 33), nullptr},
    };
    for (const auto &[name, rect, picture] : places) {
        QWidget *widget = child(dialog, name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), rect) << name;
        EXPECT_EQ(widget->parentWidget(), &dialog) << name;
        if (!picture)
            continue;
        const QPixmap shown = label(name)->pixmap();
        ASSERT_FALSE(shown.isNull()) << name;
        EXPECT_EQ(shown.toImage(), QPixmap(QString::fromLatin1(picture)).toImage()) << name;
    }
}

TEST_F(frmAboutTest, TextsAreSetAtLoadAndLoadingAgainOrReopeningShowsTheSame)
{
    QLabel *title = label("lblTitle");
    QLabel *text = label("lblText");
    ASSERT_TRUE(title && text);
    EXPECT_EQ(title->text(), "Ferrymail V1.0");
    EXPECT_EQ(title->font().pointSize(), 12);
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->font().family(), QApplication::font().family());
    EXPECT_EQ(text->textFormat(), Qt::PlainText);
    EXPECT_TRUE(text->wordWrap());
    EXPECT_TRUE(text->alignment().testFlag(Qt::AlignTop));
    EXPECT_TRUE(instructions()->isReadOnly());
    EXPECT_EQ(instructions()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(instructions()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(ok()->text(), "OK");
    EXPECT_TRUE(ok()->isDefault());

    expectTexts(dialog);
    const QFont font = text->font();
    dialog.frmAbout_Form_Load();
    expectTexts(dialog);
    EXPECT_EQ(text->font(), font) << "loading again shrinks no further";
    expectTexts(frmAbout(onSend));
}

TEST_F(frmAboutTest, TheInstructionsShowWholeWhereTheScreenHasRoomElseTheyScroll)
{
    showAndActivate();
    QScrollBar *scroll = instructions()->verticalScrollBar();
    const int room = dialog.screen()->availableGeometry().height() - 64;
    if (dialog.height() < room)
        EXPECT_EQ(scroll->maximum(), 0) << "the whole text shows";
    else
        EXPECT_EQ(dialog.height(), room) << "as tall as the screen allows";
    // The pane is larger than the five lines it was drawn for, either way.
    EXPECT_GT(instructions()->height(), 113);
}

TEST_F(frmAboutTest, FocusOpensOnOkAndTabSkipsTheLabels)
{
    showAndActivate();
    for (const char *name : {"Image1", "Image2", "lblTitle", "lblText"})
        EXPECT_EQ(child(dialog, name)->focusPolicy(), Qt::NoFocus) << name;
    EXPECT_EQ(QApplication::focusWidget(), ok());
    const std::pair<Qt::Key, QWidget *> steps[] = {{Qt::Key_Tab, instructions()},
                                                   {Qt::Key_Tab, ok()},
                                                   {Qt::Key_Backtab, instructions()},
                                                   {Qt::Key_Backtab, ok()}};
    for (const auto &[key, next] : steps) {
        QTest::keyClick(QApplication::focusWidget(), key,
                        key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(frmAboutTest, EscapeDoesNothingAndEnterClosesFromEitherControl)
{
    for (const auto &[key, modifiers] : {std::pair{Qt::Key_Return, Qt::NoModifier},
                                         std::pair{Qt::Key_Enter, Qt::KeypadModifier}}) {
        for (QWidget *target : std::initializer_list<QWidget *>{ok(), instructions()}) {
            const std::string name = target->objectName().toStdString();
            showAndActivate();
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Escape);
            EXPECT_TRUE(dialog.isVisible()) << name;
            EXPECT_EQ(QApplication::focusWidget(), target) << name;

            dialog.setResult(QDialog::Rejected);
            QTest::keyClick(target, key, modifiers);
            EXPECT_FALSE(dialog.isVisible()) << name;
            EXPECT_EQ(dialog.result(), QDialog::Accepted) << name;
        }
    }
    EXPECT_EQ(instructions()->toPlainText(), withLf(instructionsText(onSend)));
}

TEST_F(frmAboutTest, ModalRunSurvivesEscapeAndEndsOnEnter)
{
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    owner.show();
    frmAbout modal(onSend, &owner);

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

    QApplication::clipboard()->setText("pasted");
    QTest::keyClicks(field, "typed");
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
    EXPECT_EQ(field->textCursor().selectedText(), "Instructions");
}

} // namespace
