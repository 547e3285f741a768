#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The About window: who made the program and how to use it. Modal and fixed in size; OK or
// Enter closes it, Escape does not. Opened with `frmAbout dialog(onSend, this);
// dialog.exec();`, where onSend says what Send does where messages go now.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QString onSend, QWidget *parent = nullptr);

    // Puts both texts in place; run by the constructor, and safe to run again.
    void frmAbout_Form_Load();
    void frmAbout_btnOK_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fitInstructions();

    QString m_onSend;
    QLabel *m_image2;
    QLabel *m_lblTitle;
    QLabel *m_lblText;
    QLabel *m_image1;
    QPlainTextEdit *m_txtInstructions;
    QPushButton *m_btnOK;
};
