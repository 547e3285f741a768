#include "app/FindSettingsRow.h"

#include "mailbridge/discovery/SettingsFinder.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

FindSettingsRow::FindSettingsRow(QWidget *owner)
    : QWidget(owner), m_finder(new SettingsFinder(this))
{
    setObjectName(QStringLiteral("rowFind"));
    txtAddress = new QLineEdit(this);
    txtAddress->setObjectName(QStringLiteral("txtAddress"));
    txtAddress->setPlaceholderText(QStringLiteral("me@example.org"));
    cmdFind = new QPushButton(QStringLiteral("Find settings"), this);
    cmdFind->setObjectName(QStringLiteral("cmdFind"));
    cmdFind->setAutoDefault(false);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(txtAddress, 1);
    layout->addWidget(cmdFind);
    setFocusProxy(txtAddress);

    connect(cmdFind, &QPushButton::clicked, this, &FindSettingsRow::cmdFind_Click);
    connect(m_finder, &SettingsFinder::finished, this, &FindSettingsRow::searchFinished);
}

void FindSettingsRow::setAddress(const QString &address)
{
    txtAddress->setText(address.trimmed());
}

QString FindSettingsRow::address() const
{
    return txtAddress->text().trimmed();
}

void FindSettingsRow::setProposal(std::function<DiscoveryResult(const DiscoveryResult &)> proposal)
{
    m_proposal = std::move(proposal);
}

void FindSettingsRow::cmdFind_Click()
{
    // One search at a time: the button comes back with its answer.
    cmdFind->setEnabled(false);
    emit report(QStringLiteral("Looking for the settings of %1…").arg(address()));
    m_finder->find(address());
}

void FindSettingsRow::searchFinished(const DiscoveryResult &answer)
{
    cmdFind->setEnabled(true);
    const DiscoveryResult result = m_proposal ? m_proposal(answer) : answer;
    if (result.outcome == DiscoveryResult::Outcome::Found)
        emit found(result.settings);
    emit report(describeResult(result));
}
