#include "about/frmAbout.h"

#include "about/AboutTexts.h"
#include "common/Twips.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>

#include <algorithm>

#include <climits>

namespace {

QLabel *picture(QWidget *parent, const QString &name, const QString &resource, const QRect &at)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(at);
    label->setPixmap(QPixmap(resource));
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

// The layout was drawn for an 8-point font; a larger default font would push the last lines of
// the text out of its label, so the label steps down until the text fits, within reason.
void shrinkToFit(QLabel *label, QFont font)
{
    constexpr int smallestPointSize = 7;
    const QRect room = label->contentsRect();
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    while (font.pointSize() > smallestPointSize &&
           QFontMetrics(font)
                   .boundingRect(QRect(0, 0, room.width(), INT_MAX), flags, label->text())
                   .height() > room.height())
        font.setPointSize(font.pointSize() - 1);
    label->setFont(font);
}

} // namespace

frmAbout::frmAbout(QString onSend, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_onSend(std::move(onSend))
{
    setWindowTitle(QStringLiteral("About Ferrymail"));
    setFixedSize(twips(0, 0, 5760, 6120).size());
    setModal(true);

    // Created in tab-index order, so the focus chain needs no reordering.
    m_image2 = picture(this, QStringLiteral("Image2"), QStringLiteral(":/icons/send-32.png"),
                       twips(120, 120, 480, 480));

    m_lblTitle = new QLabel(QStringLiteral("Ferrymail V1.0"), this);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblTitle->setGeometry(twips(840, 120, 3495, 375));
    QFont titleFont = m_lblTitle->font();
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);

    m_lblText = new QLabel(this);
    m_lblText->setObjectName(QStringLiteral("lblText"));
    m_lblText->setGeometry(twips(840, 480, 4695, 3135));
    m_lblText->setTextFormat(Qt::PlainText);
    m_lblText->setWordWrap(true);
    m_lblText->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_image1 = picture(this, QStringLiteral("Image1"), QStringLiteral(":/icons/emblem-32.png"),
                       twips(120, 720, 480, 480));

    m_btnOK = new QPushButton(QStringLiteral("OK"), this);
    m_btnOK->setObjectName(QStringLiteral("btnOK"));
    m_btnOK->setGeometry(twips(2400, 5520, 1215, 495));
    m_btnOK->setDefault(true);
    connect(m_btnOK, &QPushButton::clicked, this, &frmAbout::frmAbout_btnOK_Click);

    m_txtInstructions = new QPlainTextEdit(this);
    m_txtInstructions->setObjectName(QStringLiteral("txtInstructions"));
    m_txtInstructions->setGeometry(twips(720, 3720, 4935, 1695));
    m_txtInstructions->setReadOnly(true);
    m_txtInstructions->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                               Qt::TextSelectableByKeyboard);
    m_txtInstructions->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtInstructions->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_txtInstructions->setFocusPolicy(Qt::StrongFocus);

    m_btnOK->setFocus();
    frmAbout_Form_Load();
}

void frmAbout::frmAbout_Form_Load()
{
    m_lblText->setText(aboutText());
    shrinkToFit(m_lblText, font());
    m_txtInstructions->setPlainText(instructionsText(m_onSend));
    fitInstructions();
}

void frmAbout::fitInstructions()
{
    // The drawn pane showed five lines of a text that tells how to use the program: the window
    // grows wider and down so that all of it shows, as far as the screen allows; beyond that
    // the pane scrolls.
    const QRect drawn = twips(720, 3720, 4935, 1695);
    const QSize drawnWindow = twips(0, 0, 5760, 6120).size();
    const int wider = drawnWindow.width() / 2;
    const int width = drawn.width() + wider;
    const int margins = 2 * m_txtInstructions->frameWidth() +
                        2 * int(m_txtInstructions->document()->documentMargin()) +
                        style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    const QFontMetrics metrics(m_txtInstructions->font());
    const int needed = metrics
                           .boundingRect(QRect(0, 0, width - margins, INT_MAX),
                                         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                                         QString(instructionsText(m_onSend))
                                             .replace(QStringLiteral("\r\n"), QStringLiteral("\n")))
                           .height() +
                       margins - style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                       metrics.height();
    int taller = std::max(0, needed - drawn.height());
    if (const QScreen *shown = screen()) {
        // Room for the title bar and a panel.
        const int room = shown->availableGeometry().height() - 64;
        taller = std::max(0, std::min(taller, room - drawnWindow.height()));
    }
    setFixedSize(drawnWindow.width() + wider, drawnWindow.height() + taller);
    m_txtInstructions->setGeometry(drawn.x(), drawn.y(), width, drawn.height() + taller);
    m_btnOK->move(twips(2400, 5520, 0, 0).topLeft() + QPoint(wider / 2, taller));
}

void frmAbout::frmAbout_btnOK_Click()
{
    accept();
}

void frmAbout::keyPressEvent(QKeyEvent *event)
{
    // QDialog would reject on Escape; this window closes only through OK.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
