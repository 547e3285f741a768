#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

class BackgroundSend;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// Shows a running Send: messages, the file being written, bytes, rate, time left, and Cancel.
// Modal to the main window. When the Send ends it stays with a line saying how it ended and
// a Close button; it never starts anything on a key.
class frmProgress : public QDialog
{
    Q_OBJECT

public:
    // The Send may end and go before this window does: it is only watched, never owned.
    frmProgress(BackgroundSend *send, QWidget *owner);

    // The Send has ended: the figures stay, with `summary` and Close; `openFolder`, when
    // given, is offered as "Open folder".
    void showEnd(const QString &summary, std::function<void()> openFolder = {});
    bool hasEnded() const { return m_ended; }
    // Adds a line under the summary, such as why the folder did not open.
    void showNote(const QString &note);

    // Escape and the close box cancel a running Send instead of hiding it; after the end
    // they close the window.
    void reject() override;

private:
    void refresh();
    void cmdCancel_Click();

    QPointer<BackgroundSend> m_send;
    bool m_ended = false;
    std::function<void()> m_openFolder;
    QLabel *lblMessages = nullptr;
    QLabel *lblFile = nullptr;
    QProgressBar *barBytes = nullptr;
    QLabel *lblBytes = nullptr;
    QLabel *lblRate = nullptr;
    QLabel *lblTimeLeft = nullptr;
    QLabel *lblSummary = nullptr;
    QPushButton *cmdOpenFolder = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdClose = nullptr;
    QTimer *m_timer = nullptr;
};
