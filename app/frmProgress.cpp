#include "app/frmProgress.h"

#include "batch/BackgroundSend.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLabel *namedLabel(QWidget *parent, const char *name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

frmProgress::frmProgress(BackgroundSend &send, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      m_send(send)
{
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("Sending"));
    setWindowModality(Qt::WindowModal);

    lblMessages = namedLabel(this, "lblMessages");
    lblFile = namedLabel(this, "lblFile");
    // A long name must not widen the window; it is cut at the end instead.
    lblFile->setMinimumWidth(320);
    lblFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    barBytes = new QProgressBar(this);
    barBytes->setObjectName(QStringLiteral("barBytes"));
    barBytes->setRange(0, 1000);
    barBytes->setTextVisible(false);
    lblBytes = namedLabel(this, "lblBytes");
    lblRate = namedLabel(this, "lblRate");
    lblTimeLeft = namedLabel(this, "lblTimeLeft");
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);

    auto *figures = new QGridLayout;
    figures->addWidget(lblBytes, 0, 0);
    figures->addWidget(lblRate, 0, 1, Qt::AlignRight);
    figures->addWidget(lblTimeLeft, 1, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblMessages);
    layout->addWidget(lblFile);
    layout->addWidget(barBytes);
    layout->addLayout(figures);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdCancel, &QPushButton::clicked, this, &frmProgress::cmdCancel_Click);
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &frmProgress::refresh);
    m_timer->start(200);
    refresh();
}

void frmProgress::reject()
{
    cmdCancel_Click();
}

void frmProgress::cmdCancel_Click()
{
    m_send.cancel();
    cmdCancel->setEnabled(false);
    cmdCancel->setText(QStringLiteral("Cancelling…"));
}

void frmProgress::refresh()
{
    const auto status = m_send.status();
    const ProgressTexts texts = progressTexts(status, m_send.elapsedSeconds());
    lblMessages->setText(texts.messages);
    lblFile->setText(
        fontMetrics().elidedText(status.currentFile, Qt::ElideMiddle, lblFile->width()));
    lblBytes->setText(texts.bytes);
    lblRate->setText(texts.rate);
    lblTimeLeft->setText(texts.timeLeft);
    barBytes->setValue(status.bytesTotal > 0
                           ? int(1000 * double(status.bytesDone) / double(status.bytesTotal))
                           : 0);
}
