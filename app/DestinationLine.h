#pragma once

#include <QWidget>

class QLabel;
class QToolButton;
class SettingsStore;

// Where a Send's messages will go, in the words of the main window's line: "Sends through
// me@example.org", "Into the Drafts of me@example.org", "Into the outbox folder ~/…". Before
// anything is set up it says so, and how to change it; settings it cannot read, why.
QString destinationText(const SettingsStore &settings);
// The largest message the account's provider documents, for beside the size field ("Gmail:
// at most 25 MB a message"); empty when the list of providers has none for it.
QString providerLimitText(const SettingsStore &settings);

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
