#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class ReviewedSendController;

// Shows a run of review-then-send: the folder being listed, then the draft being sent, its
// number, the bytes, and Cancel. Not modal, as a Send's progress; the main window closes it
// when the run ends, and tells the end itself.
class frmReviewProgress : public QDialog
{
    Q_OBJECT

public:
    frmReviewProgress(ReviewedSendController *run, QWidget *owner);

    // Escape and the close box cancel the run instead of hiding it.
    void reject() override;

private:
    void refresh();
    void cmdCancel_Click();

    QPointer<ReviewedSendController> m_run;
    QLabel *lblDraft = nullptr;
    QProgressBar *barBytes = nullptr;
    QLabel *lblBytes = nullptr;
    QPushButton *cmdCancel = nullptr;
    QTimer *m_timer = nullptr;
};
