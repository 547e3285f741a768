#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

// The main window's line that says where messages go, with the button that opens the Mail
// account window, and for an account that offers it the one that sends the reviewed drafts.
class DestinationLine : public QWidget
{
    Q_OBJECT

public:
    explicit DestinationLine(QWidget *parent);

    void setText(const QString &text);
    QString text() const;
    QToolButton *button() const { return cmdMailAccount; }
    QToolButton *sendDraftsButton() const { return cmdSendDrafts; }
    void setSendDraftsOffered(bool offered);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

signals:
    void clicked();
    void sendDraftsClicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    static constexpr int spacing = 6;
    int buttonsWidth() const;
    void placeControls();

    QLabel *lblDestination = nullptr;
    QToolButton *cmdMailAccount = nullptr;
    QToolButton *cmdSendDrafts = nullptr;
};
