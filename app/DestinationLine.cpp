#include "app/DestinationLine.h"

#include <QLabel>
#include <QToolButton>

DestinationLine::DestinationLine(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("lineDestination"));
    lblDestination = new QLabel(this);
    lblDestination->setObjectName(QStringLiteral("lblDestination"));
    lblDestination->setTextFormat(Qt::PlainText);
    lblDestination->setWordWrap(true);
    lblDestination->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    cmdMailAccount = new QToolButton(this);
    cmdMailAccount->setObjectName(QStringLiteral("cmdMailAccount"));
    cmdMailAccount->setText(QStringLiteral("Mail account…"));
    cmdMailAccount->setToolTip(QStringLiteral("Where messages go (Ctrl+,)"));
    cmdMailAccount->setFocusPolicy(Qt::StrongFocus);
    connect(cmdMailAccount, &QToolButton::clicked, this, &DestinationLine::clicked);
    cmdSendDrafts = new QToolButton(this);
    cmdSendDrafts->setObjectName(QStringLiteral("cmdSendDrafts"));
    cmdSendDrafts->setText(QStringLiteral("Send the reviewed drafts"));
    cmdSendDrafts->setToolTip(
        QStringLiteral("Sends the drafts of Ferrymail's Sends as they are now in the Drafts "
                       "folder, after you have looked them over in your mail program"));
    cmdSendDrafts->setFocusPolicy(Qt::StrongFocus);
    cmdSendDrafts->hide();
    connect(cmdSendDrafts, &QToolButton::clicked, this, &DestinationLine::sendDraftsClicked);
}

void DestinationLine::setSendDraftsOffered(bool offered)
{
    if (cmdSendDrafts->isVisibleTo(this) == offered)
        return;
    cmdSendDrafts->setVisible(offered);
    placeControls();
}

int DestinationLine::buttonsWidth() const
{
    int width = cmdMailAccount->sizeHint().width();
    if (cmdSendDrafts->isVisibleTo(this))
        width += cmdSendDrafts->sizeHint().width() + spacing;
    return width;
}

void DestinationLine::setText(const QString &text)
{
    lblDestination->setText(text);
    lblDestination->setToolTip(text);
}

QString DestinationLine::text() const
{
    return lblDestination->text();
}

int DestinationLine::heightForWidth(int width) const
{
    return std::max(cmdMailAccount->sizeHint().height(),
                    lblDestination->heightForWidth(width - buttonsWidth() - spacing));
}

void DestinationLine::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void DestinationLine::placeControls()
{
    // The buttons at the right, at their own size; the text wraps in what is left.
    int right = width();
    for (QToolButton *button : {cmdMailAccount, cmdSendDrafts}) {
        if (!button->isVisibleTo(this))
            continue;
        const QSize size = button->sizeHint();
        right -= size.width();
        button->setGeometry(right, (height() - size.height()) / 2, size.width(), size.height());
        right -= spacing;
    }
    lblDestination->setGeometry(0, 0, width() - buttonsWidth() - spacing, height());
}
