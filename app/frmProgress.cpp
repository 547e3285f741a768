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

QPushButton *namedButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    // Enter presses only the default button, and there is one only once the Send has ended.
    button->setAutoDefault(false);
    return button;
}

} // namespace

frmProgress::frmProgress(BackgroundSend *send, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      m_send(send)
{
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("Sending"));
    // Not modal: a modal window would keep the main window's close box from asking whether to
    // stop. The main window drops every click and key while the Send runs instead.
    setWindowModality(Qt::NonModal);

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
    lblSummary = namedLabel(this, "lblSummary");
    lblSummary->setWordWrap(true);
    lblSummary->setTextFormat(Qt::PlainText);
    lblSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblSummary->setMaximumWidth(480);
    lblSummary->hide();
    cmdOpenFolder = namedButton(this, "cmdOpenFolder", QStringLiteral("Open folder"));
    cmdOpenFolder->hide();
    cmdCancel = namedButton(this, "cmdCancel", QStringLiteral("Cancel"));
    cmdClose = namedButton(this, "cmdClose", QStringLiteral("Close"));
    cmdClose->hide();

    auto *figures = new QGridLayout;
    figures->addWidget(lblBytes, 0, 0);
    figures->addWidget(lblRate, 0, 1, Qt::AlignRight);
    figures->addWidget(lblTimeLeft, 1, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdOpenFolder);
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblMessages);
    layout->addWidget(lblFile);
    layout->addWidget(barBytes);
    layout->addLayout(figures);
    layout->addWidget(lblSummary);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdCancel, &QPushButton::clicked, this, &frmProgress::cmdCancel_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdOpenFolder, &QPushButton::clicked, this, [this] {
        if (m_openFolder)
            m_openFolder();
    });
    // The owner keeps only a guarded pointer, so closing is the end of this window.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    // Space presses Cancel, as on any button that has the focus; Enter presses nothing.
    cmdCancel->setFocus();
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &frmProgress::refresh);
    m_timer->start(200);
    refresh();
}

void frmProgress::showEnd(const QString &summary, std::function<void()> openFolder)
{
    refresh();
    m_timer->stop();
    m_ended = true;
    m_openFolder = std::move(openFolder);
    setWindowTitle(QStringLiteral("Send ended"));
    // What was going on no longer is: only the totals stay above the summary.
    lblFile->clear();
    lblRate->hide();
    lblTimeLeft->hide();
    lblSummary->setText(summary);
    lblSummary->show();
    cmdOpenFolder->setVisible(bool(m_openFolder));
    cmdCancel->hide();
    cmdClose->show();
    cmdClose->setDefault(true);
    cmdClose->setFocus();
}

void frmProgress::showNote(const QString &note)
{
    lblSummary->setText(lblSummary->text() + QLatin1Char('\n') + note);
}

void frmProgress::reject()
{
    if (m_ended)
        QDialog::reject();
    else
        cmdCancel_Click();
}

void frmProgress::cmdCancel_Click()
{
    if (m_send)
        m_send->cancel();
    cmdCancel->setEnabled(false);
    cmdCancel->setText(QStringLiteral("Cancelling…"));
}

void frmProgress::refresh()
{
    if (!m_send)
        return;
    const auto status = m_send->status();
    const ProgressTexts texts = progressTexts(status, m_send->elapsedSeconds());
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
