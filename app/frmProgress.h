#pragma once

#include <QDialog>

class BackgroundSend;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// Shows a running Send: messages, the file being written, bytes, rate, time left, and Cancel.
// Modal to the main window; it closes when the Send ends, never by itself on a key.
class frmProgress : public QDialog
{
    Q_OBJECT

public:
    frmProgress(BackgroundSend &send, QWidget *owner);

    // Escape and the close box cancel the Send instead of hiding a Send that still runs.
    void reject() override;

private:
    void refresh();
    void cmdCancel_Click();

    BackgroundSend &m_send;
    QLabel *lblMessages = nullptr;
    QLabel *lblFile = nullptr;
    QProgressBar *barBytes = nullptr;
    QLabel *lblBytes = nullptr;
    QLabel *lblRate = nullptr;
    QLabel *lblTimeLeft = nullptr;
    QPushButton *cmdCancel = nullptr;
    QTimer *m_timer = nullptr;
};
