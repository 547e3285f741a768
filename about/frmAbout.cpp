#include "about/frmAbout.h"

#include "about/AboutTexts.h"
#include "common/Twips.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

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

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
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
    m_txtInstructions->setPlainText(instructionsText());
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
