#include "app/frmReviewProgress.h"

#include "app/ReviewedSendController.h"
#include "common/ByteText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

frmReviewProgress::frmReviewProgress(ReviewedSendController *run, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      m_run(run)
{
    setObjectName(QStringLiteral("frmReviewProgress"));
    setWindowTitle(QStringLiteral("Sending the reviewed drafts"));
    // Not modal: the main window's close box must still ask whether to stop.
    setWindowModality(Qt::NonModal);
    lblDraft = new QLabel(this);
    lblDraft->setObjectName(QStringLiteral("lblDraft"));
    lblDraft->setTextFormat(Qt::PlainText);
    // A long subject must not widen the window; it is cut instead.
    lblDraft->setMinimumWidth(320);
    lblDraft->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    barBytes = new QProgressBar(this);
    barBytes->setObjectName(QStringLiteral("barBytes"));
    barBytes->setRange(0, 1000);
    barBytes->setTextVisible(false);
    lblBytes = new QLabel(this);
    lblBytes->setObjectName(QStringLiteral("lblBytes"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    // Enter presses nothing here; Space presses Cancel, as on any focused button.
    cmdCancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblDraft);
    layout->addWidget(barBytes);
    layout->addWidget(lblBytes);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdCancel, &QPushButton::clicked, this, &frmReviewProgress::cmdCancel_Click);
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    cmdCancel->setFocus();
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &frmReviewProgress::refresh);
    m_timer->start(200);
    refresh();
}

void frmReviewProgress::reject()
{
    cmdCancel_Click();
}

void frmReviewProgress::cmdCancel_Click()
{
    if (m_run)
        m_run->cancel();
    cmdCancel->setEnabled(false);
    cmdCancel->setText(QStringLiteral("Cancelling…"));
}

void frmReviewProgress::refresh()
{
    if (!m_run)
        return;
    const ReviewedSendStatus status = m_run->status();
    if (!status.sending) {
        lblDraft->setText(QStringLiteral("Looking for Ferrymail's drafts…"));
        barBytes->setRange(0, 0); // busy, with no figure to show
        lblBytes->clear();
        return;
    }
    barBytes->setRange(0, 1000);
    const QString draft = status.draft == 0 ? QStringLiteral("Draft 1 of %1").arg(status.drafts)
                                            : QStringLiteral("Draft %1 of %2: %3")
                                                  .arg(status.draft)
                                                  .arg(status.drafts)
                                                  .arg(status.subject);
    lblDraft->setText(fontMetrics().elidedText(draft, Qt::ElideRight, lblDraft->width()));
    lblBytes->setText(QStringLiteral("%1 of %2")
                          .arg(byteText(std::int64_t(status.bytesDone)),
                               byteText(std::int64_t(status.bytesTotal))));
    barBytes->setValue(status.bytesTotal > 0
                           ? int(1000 * double(status.bytesDone) / double(status.bytesTotal))
                           : 0);
}
