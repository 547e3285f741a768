#include "app/frmMain.h"

#include "about/frmAbout.h"
#include "app/DestinationLine.h"
#include "app/EventGuard.h"
#include "app/MessageBoxes.h"
#include "app/RememberedComboBox.h"
#include "app/ReviewedSendController.h"
#include "app/ReviewedSendParts.h"
#include "app/SendController.h"
#include "app/TickListView.h"
#include "app/UpDown.h"
#include "app/frmAccount.h"
#include "app/frmProgress.h"
#include "app/frmReviewProgress.h"
#include "batch/BackgroundSend.h"
#include "batch/PreparedSend.h"
#include "batch/SendPreview.h"
#include "batch/SendSummary.h"
#include "batch/SendValidation.h"
#include "common/Failure.h"
#include "common/HomePath.h"
#include "common/Twips.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListRefresh.h"
#include "filelist/FileSystem.h"
#include "filelist/FolderChooser.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/Outbox.h"
#include "mailbridge/password/PasswordResolution.h"
#include "mailbridge/password/PasswordStore.h"
#include "mailbridge/wiring/DestinationWords.h"
#include "settings/CollectingSettingsStore.h"
#include "settings/ManifestSetting.h"
#include "settings/RememberedEntries.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QTime>
#include <QTimer>
#include <QToolButton>

namespace {

template <typename Control> Control *place(Control *control, const char *name, const QRect &where)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(where);
    return control;
}

QLabel *label(QWidget *parent, const char *name, const QString &caption, const QRect &where)
{
    return place(new QLabel(caption, parent), name, where);
}

QToolButton *pictureButton(QWidget *parent, const char *name, const QString &caption,
                           const QIcon &picture, int pictureSize, const QRect &where)
{
    auto *button = place(new QToolButton(parent), name, where);
    button->setIcon(picture);
    button->setIconSize(QSize(pictureSize, pictureSize));
    button->setText(caption);
    button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly
                                                 : Qt::ToolButtonTextUnderIcon);
    // A click must take the focus, so that leaving the folder field refreshes the list first.
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QIcon icon(std::initializer_list<const char *> files)
{
    QIcon result;
    for (const char *file : files)
        result.addFile(QString::fromLatin1(file));
    return result;
}

// The layout was drawn for a small dialog font. Desktop fonts run wider, so the window takes
// the platform's font at the largest size at which every caption fits its label.
QFont fittedDialogFont(const QFont &base, const QList<QLabel *> &labels)
{
    QFont font = base;
    const auto fits = [&labels](const QFont &candidate) {
        const QFontMetrics metrics(candidate);
        for (const QLabel *label : labels)
            if (metrics.horizontalAdvance(label->text()) > label->width())
                return false;
        return true;
    };
    while (!fits(font) && font.pointSizeF() > 6.5)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    return font;
}

void fillRemembered(RememberedComboBox *combo, const SettingsStore &store, const QString &word)
{
    combo->clear();
    combo->addItems(RememberedEntries::loadList(store, word));
    combo->choose(0);
}

void saveRemembered(SettingsStore &store, const QString &word, const RememberedComboBox *combo)
{
    QStringList entries;
    for (int n = 0; n < combo->count(); ++n)
        entries << combo->itemText(n);
    RememberedEntries::saveList(store, word, entries, combo->currentText(),
                                combo->chosenPosition());
}

// The list's own entries with the current text first, as a Send leaves them: each Send's
// sender, recipient and folder join the history, not only the text the window closes with.
void rememberCurrentText(RememberedComboBox *combo)
{
    const QString text = combo->currentText();
    if (text.trimmed().isEmpty())
        return;
    QStringList entries;
    for (int n = 0; n < combo->count(); ++n)
        if (const QString entry = combo->itemText(n); entry != text)
            entries << entry;
    entries.prepend(text);
    // Keep as many as the list held, dropping empty ones first.
    const int keep = std::max(combo->count(), 1);
    while (entries.size() > keep) {
        const qsizetype empty = entries.lastIndexOf(QString());
        entries.removeAt(empty > 0 ? empty : entries.size() - 1);
    }
    const QSignalBlocker quiet(combo);
    combo->clear();
    combo->addItems(entries);
    combo->choose(0);
}

// Whether the settings as they are now offer to send the reviewed drafts; settings that cannot
// be read offer nothing (the destination line says why).
bool offersReviewedSendNow(const SettingsStore &settings)
{
    try {
        return offersReviewedSend(readMailAccount(settings));
    } catch (const Failure &) {
        return false;
    }
}

// Restores the pointer when a long handler ends, however it ends.
struct WaitCursor
{
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

frmMain::frmMain(SettingsStore &settings, FolderChooser &folderChooser, ServiceFactories factories,
                 QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_settings(settings), m_folderChooser(folderChooser), m_factories(std::move(factories)),
      m_fileList(new FileListModel(this)), m_controller(std::make_unique<SendController>()),
      m_review(std::make_unique<ReviewedSendController>())
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Ferrymail"));
    setWindowIcon(icon({":/icons/ferrymail-16.png", ":/icons/ferrymail-32.png"}));
    // The drawn layout is the smallest the window gets; the list takes what it grows by.
    setMinimumSize(twips(0, 0, 6960, 5580).size());
    resize(minimumSize());
    createControls();
    connectEvents();
    connect(m_controller.get(), &SendController::progressDue, this, &frmMain::showProgress);
    connect(m_controller.get(), &SendController::finished, this, &frmMain::onSendFinished);
    connect(m_review.get(), &ReviewedSendController::progressDue, this,
            &frmMain::showReviewProgress);
    connect(m_review.get(), &ReviewedSendController::planned, this, &frmMain::onReviewPlanned);
    connect(m_review.get(), &ReviewedSendController::finished, this, &frmMain::onReviewFinished);

    // The tool tip follows the ticks, the size and the addresses; worked out once per burst.
    m_previewDelay = new QTimer(this);
    m_previewDelay->setSingleShot(true);
    m_previewDelay->setInterval(0);
    connect(m_previewDelay, &QTimer::timeout, this, &frmMain::updateSendToolTip);
    const auto preview = [this] { m_previewDelay->start(); };
    connect(m_fileList, &QAbstractItemModel::dataChanged, this, preview);
    connect(m_fileList, &QAbstractItemModel::modelReset, this, [this, preview] {
        if (m_preview)
            m_preview->forget();
        preview();
    });
    connect(txtSize, &QLineEdit::textChanged, this, preview);
    connect(cboTo, &QComboBox::currentTextChanged, this, preview);
    connect(cboFrom, &QComboBox::currentTextChanged, this, preview);
    // The outbox's limit comes from a worker, perhaps from its server.
    connect(m_controller.get(), &SendController::sizeLimitChanged, this, preview);
}

frmMain::~frmMain()
{
    // The worker uses the services this window owns: it must end before they go.
    if (isSending())
        qApp->removeEventFilter(this);
    m_controller.reset();
    // Its worker uses the keyring this window made.
    disconnect(m_review.get(), nullptr, this, nullptr);
    m_review.reset();
    // ~QWidget moves the focus away from the controls after this object is gone; the
    // application's signal must not reach onFocusChanged then.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

void frmMain::createControls()
{
    Label1 = label(this, "Label1", QStringLiteral("Send to:"), twips(240, 240, 1215, 255));
    cboTo = place(new RememberedComboBox(this), "cboTo", twips(1440, 240, 5175, 315));
    Label2 = label(this, "Label2", QStringLiteral("Send from:"), twips(240, 600, 1215, 255));
    cboFrom = place(new RememberedComboBox(this), "cboFrom", twips(1440, 600, 5175, 315));
    Label3 = label(this, "Label3", QStringLiteral("Subject (Prefix):"), twips(240, 960, 1215, 255));
    txtSubject = place(new QLineEdit(this), "txtSubject", twips(1440, 960, 5175, 285));
    Label4 = label(this, "Label4", QStringLiteral("Path:"), twips(240, 1320, 1215, 255));
    cboPath = place(new RememberedComboBox(this), "cboPath", twips(1440, 1320, 4455, 315));
    cmdBrowse = pictureButton(this, "cmdBrowse", QString(), icon({":/icons/browse-16.png"}), 16,
                              twips(6000, 1320, 615, 285));
    Label5 = label(this, "Label5", QStringLiteral("Max Message Size (kb):"),
                   twips(240, 1680, 1815, 255));
    txtSize = place(new QLineEdit(this), "txtSize", twips(2160, 1680, 975, 285));
    UpDown1 = place(new UpDown(txtSize, 0, 10000, 100, 100, this), "UpDown1",
                    twips(3120, 1680, 240, 285));
    lstFiles = place(new TickListView(this), "lstFiles", twips(240, 2040, 6495, 2535));
    lstFiles->setModel(m_fileList);
    lstFiles->setToolTip(QStringLiteral("Right-click, the Menu key or Shift+F10 ticks all files"));
    {
        QHeaderView *header = lstFiles->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(FileListModel::NameColumn, QHeaderView::Stretch);
        // Measured from texts, not from 100,000 lines.
        const QFontMetrics metrics(lstFiles->font());
        const int pad = 3 * metrics.averageCharWidth();
        header->setSectionResizeMode(FileListModel::SizeColumn, QHeaderView::Fixed);
        header->resizeSection(FileListModel::SizeColumn,
                              metrics.horizontalAdvance(QStringLiteral("999.9 MB")) + pad);
        header->setSectionResizeMode(FileListModel::MessageColumn, QHeaderView::Fixed);
        header->resizeSection(FileListModel::MessageColumn,
                              metrics.horizontalAdvance(QStringLiteral("Message")) + pad);
    }
    lblPlan = label(this, "lblPlan", QString(), twips(240, 4200, 6495, 255));
    lblPlan->setTextFormat(Qt::PlainText);
    lblPlan->setWordWrap(true);
    lblOutcome = label(this, "lblOutcome", QString(), twips(240, 4440, 6495, 255));
    lblOutcome->setTextFormat(Qt::PlainText);
    lblOutcome->setWordWrap(true);
    lblOutcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblOutcome->hide();
    cmdSend = pictureButton(this, "cmdSend", QStringLiteral("Send"),
                            icon({":/icons/send-16.png", ":/icons/send-32.png"}), 32,
                            twips(2280, 4680, 1215, 735));
    cmdAbout = pictureButton(this, "cmdAbout", QStringLiteral("About"),
                             icon({":/icons/about-16.png"}), 16, twips(3720, 4680, 1215, 735));

    lineDestination = new DestinationLine(this);
    lblSizeLimit = label(this, "lblSizeLimit", QString(), twips(3480, 1680, 3255, 255));
    lblSizeLimit->setTextFormat(Qt::PlainText);

    setFont(fittedDialogFont(font(), {Label1, Label2, Label3, Label4, Label5}));

    // The arrows are reached with Up and Down in the size field: no stop of their own.
    const QList<QWidget *> tabOrder = {cboTo,   cboFrom,  txtSubject, cboPath, cmdBrowse,
                                       txtSize, lstFiles, cmdSend,    cmdAbout};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    setTabOrder(cmdAbout, lineDestination->sendDraftsButton());
    setTabOrder(lineDestination->sendDraftsButton(), lineDestination->button());
    // Enter in a field is the Send button's; a focused button answers Enter itself.
    for (QWidget *control : tabOrder) {
        control->installEventFilter(this);
        m_enterControls.insert(control);
    }
}

void frmMain::connectEvents()
{
    connect(cboPath, &QComboBox::activated, this,
            [this] { runGuarded(this, [this] { frmMain_cboPath_Click(); }); });
    connect(qApp, &QApplication::focusChanged, this, &frmMain::onFocusChanged);
    connect(cmdBrowse, &QToolButton::clicked, this,
            [this] { runGuarded(this, [this] { frmMain_cmdBrowse_Click(); }); });
    connect(lstFiles, &TickListView::mouseUp, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position) {
                runGuarded(
                    this, [&] { frmMain_lstFiles_MouseUp(int(button), int(modifiers), position); });
            });
    connect(lstFiles, &TickListView::tickAllRequested, this, [this] { m_fileList->tickAll(); });
    connect(cmdSend, &QToolButton::clicked, this,
            [this] { runGuarded(this, [this] { frmMain_cmdSend_Click(); }); });
    connect(cmdAbout, &QToolButton::clicked, this,
            [this] { runGuarded(this, [this] { frmMain_cmdAbout_Click(); }); });

    // Besides the button on the line that says where messages go: a key and Send's menu.
    const auto mailAccount = [this] { runGuarded(this, [this] { frmMain_MailAccount(); }); };
    auto *accountKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this);
    connect(accountKey, &QShortcut::activated, this, mailAccount);
    connect(lineDestination, &DestinationLine::clicked, this, mailAccount);
    connect(lineDestination, &DestinationLine::sendDraftsClicked, this,
            [this] { runGuarded(this, [this] { frmMain_cmdSendDrafts_Click(); }); });
    cmdSend->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cmdSend, &QWidget::customContextMenuRequested, this,
            [this, mailAccount](QPoint position) {
                QMenu menu(this);
                menu.setObjectName(QStringLiteral("mnuSend"));
                connect(menu.addAction(QStringLiteral("Mail account…")), &QAction::triggered, this,
                        mailAccount);
                menu.exec(cmdSend->mapToGlobal(position));
            });
}

void frmMain::frmMain_Form_Load()
{
    objFileSystem = m_factories.createFileSystem();
    m_controller->setOutbox(m_factories.makeOutbox(m_settings));
    showDestination();
    m_preview = std::make_unique<SendPreview>(*objFileSystem);
    txtSize->setText(RememberedEntries::loadMaxSize(m_settings));
    fillRemembered(cboFrom, m_settings, QStringLiteral("From"));
    fillRemembered(cboTo, m_settings, QStringLiteral("To"));
    fillRemembered(cboPath, m_settings, QStringLiteral("Path"));
    // A remembered folder that cannot be read any more must not keep the tool from starting.
    runGuarded(this, [this] {
        bool cancel = false;
        frmMain_cboPath_Validate(cancel);
    });
    cboTo->setFocus();
}

void frmMain::frmMain_Form_Unload(bool & /*cancel: closing is never refused*/)
{
    // One entry that cannot be saved must not lose the others.
    CollectingSettingsStore settings(m_settings);
    RememberedEntries::saveMaxSize(settings, txtSize->text());
    saveRemembered(settings, QStringLiteral("From"), cboFrom);
    saveRemembered(settings, QStringLiteral("To"), cboTo);
    saveRemembered(settings, QStringLiteral("Path"), cboPath);
    settings.throwIfAnyFailed();
}

void frmMain::frmMain_cboPath_Click()
{
    bool cancel = false;
    frmMain_cboPath_Validate(cancel);
}

void frmMain::frmMain_cboPath_Validate(bool & /*cancel: leaving the field is never refused*/)
{
    WaitCursor wait;
    setOutcome(QString());
    refreshFileList(expandHome(cboPath->currentText()), *objFileSystem, *m_fileList);
}

void frmMain::frmMain_cmdBrowse_Click()
{
    const QString shown = expandHome(cboPath->currentText());
    const QString start = objFileSystem->FolderExists(shown) ? shown : QDir::homePath();
    const auto folder =
        m_folderChooser.chooseFolder(this, QStringLiteral("Select a folder"), start);
    // Cancelling keeps the folder, the list and its ticks as they were.
    if (!folder)
        return;
    cboPath->setTypedText(*folder);
    bool cancel = false;
    frmMain_cboPath_Validate(cancel);
}

void frmMain::frmMain_lstFiles_MouseUp(int button, int /*shift*/, QPoint /*position*/)
{
    if (button == Qt::RightButton)
        m_fileList->tickAll();
}

SendRequest frmMain::currentRequest() const
{
    SendRequest request;
    request.folder = m_fileList->folder();
    request.entries = m_fileList->lines();
    request.sizeText = txtSize->text();
    request.recipient = cboTo->currentText();
    request.subjectPrefix = txtSubject->text();
    request.sender = cboFrom->currentText();
    request.listState = m_fileList->state();
    request.manifest = manifestWanted(m_settings);
    return request;
}

void frmMain::updateSendToolTip()
{
    if (!m_controller || !m_controller->hasOutbox() || !m_preview)
        return;
    // One plan for the column, the line and the tool tip. The outbox's own limit may need a
    // server, which this thread never waits on: the plan has it once the controller does.
    PlanOverview plan = m_preview->overview(currentRequest(), outbox(), m_controller->sizeLimit());
    m_fileList->setMessageNumbers(std::move(plan.messageOfEntry));
    cmdSend->setToolTip(plan.toolTip);
    if (lblPlan->text() != plan.line) {
        lblPlan->setText(plan.line);
        lblPlan->setToolTip(plan.line);
        layoutControls();
    }
}

void frmMain::setOutcome(const QString &text)
{
    if (lblOutcome->text() == text)
        return;
    lblOutcome->setText(text);
    lblOutcome->setVisible(!text.isEmpty());
    layoutControls();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void frmMain::layoutControls()
{
    if (!lstFiles)
        return;
    // The drawn places at the smallest size; growth widens the fields and the list, the list
    // takes the height, and the buttons stay centred under it.
    const QSize drawn = twips(0, 0, 6960, 5580).size();
    const int dx = std::max(0, width() - drawn.width());
    const int dy = std::max(0, height() - drawn.height());
    for (QWidget *field : {static_cast<QWidget *>(cboTo), static_cast<QWidget *>(cboFrom),
                           static_cast<QWidget *>(txtSubject)}) {
        const QRect at = twips(1440, 0, 5175, 0);
        field->resize(at.width() + dx, field->height());
    }
    cboPath->resize(twips(0, 0, 4455, 0).width() + dx, cboPath->height());
    cmdBrowse->move(twips(6000, 1320, 0, 0).topLeft() + QPoint(dx, 0));
    cmdSend->move(twips(2280, 4680, 0, 0).topLeft() + QPoint(dx / 2, dy));
    cmdAbout->move(twips(3720, 4680, 0, 0).topLeft() + QPoint(dx / 2, dy));

    const QRect list = twips(240, 2040, 6495, 2535);
    const int width = list.width() + dx;
    const int gap = 2;
    // Without the lines the list ends where it was drawn; the lines take their room from it.
    int bottom = list.bottom() + 1 + dy;
    int linesTop = cmdSend->y() - gap;
    for (QWidget *line : {static_cast<QWidget *>(lineDestination),
                          static_cast<QWidget *>(lblOutcome), static_cast<QWidget *>(lblPlan)}) {
        const auto *label = qobject_cast<QLabel *>(line);
        if (!line->isVisibleTo(this) || (label && label->text().isEmpty())) {
            line->setGeometry(list.x(), linesTop, width, 0);
            continue;
        }
        const int height = line->heightForWidth(width);
        linesTop -= height;
        line->setGeometry(list.x(), linesTop, width, height);
        bottom = std::min(bottom, linesTop - gap);
        linesTop -= gap;
    }
    // However long the lines, some of the list stays.
    const int listHeight = std::max(bottom - list.y(), 3 * fontMetrics().height());
    lstFiles->setGeometry(list.x(), list.y(), width, listHeight);
}

void frmMain::focusField(SendField field)
{
    switch (field) {
    case SendField::Sender:
        cboFrom->setFocus();
        break;
    case SendField::Recipient:
        cboTo->setFocus();
        break;
    case SendField::Subject:
        txtSubject->setFocus();
        break;
    case SendField::Folder:
        cboPath->setFocus();
        break;
    case SendField::Size:
        txtSize->setFocus();
        txtSize->selectAll();
        break;
    case SendField::Files:
        lstFiles->setFocus();
        break;
    }
}

void frmMain::rememberEntries()
{
    rememberCurrentText(cboTo);
    rememberCurrentText(cboFrom);
    rememberCurrentText(cboPath);
}

void frmMain::frmMain_cmdSend_Click()
{
    // One Send at a time, however the click or key got here.
    if (isSending() || isSendingDrafts())
        return;
    // The list shows another folder than the one typed: what would go is not what the person
    // named, so the list catches up and nothing is sent.
    if (expandHome(cboPath->currentText()) != m_fileList->folder()) {
        bool cancel = false;
        frmMain_cboPath_Validate(cancel);
        return;
    }
    // The end of the previous Send, if still shown, is not this one's.
    if (m_progress)
        delete m_progress;
    setOutcome(QString());
    // Checked and planned at once, on this thread: a refusal is one box and nothing created;
    // after the box the person is where the fault is.
    PreparedSend prepared;
    try {
        prepared = prepareSend(currentRequest(), *objFileSystem, outbox().messageRules());
    } catch (const FieldRefusal &refusal) {
        MessageBoxes::showRefusal(this, refusal.whilePlanning()
                                            ? nothingFiledText(refusal.description())
                                            : refusal.description());
        focusField(refusal.field());
        return;
    } catch (const PlanningFailure &failure) {
        MessageBoxes::showFailure(this, nothingFiledText(failure.description()));
        focusField(SendField::Files);
        return;
    }
    rememberEntries();

    // The keyring and a PasswordCommand may take their time: the Send's worker asks them,
    // so this window stays free, and the progress window's Cancel stops a command.
    std::function<void(const CancelToken &)> preparation;
    if (outbox().needsPassword())
        preparation = [account = readMailAccount(m_settings), keyring = keyring(),
                       mail = &outbox()](const CancelToken &cancel) {
            const std::optional<QString> password =
                resolvePassword(account, *keyring, [&cancel] { return cancel.cancelled(); });
            if (!password)
                throw PasswordWanted(mail->destination());
            mail->setPassword(*password);
        };
    // Clicks and keys that arrive while the Send runs are dropped, never replayed.
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_controller->start(std::move(prepared), std::move(preparation));
}

bool frmMain::askForPassword()
{
    const std::optional<QString> password = askPasswordFor(outbox().destination());
    if (!password)
        return false;
    m_controller->setPassword(*password);
    // One password serves the account: the reviewed drafts log in with it too.
    m_review->setPassword(*password);
    return true;
}

std::optional<QString> frmMain::askPasswordFor(const QString &destination)
{
    if (!m_factories.askPassword)
        return std::nullopt;
    const auto answer = m_factories.askPassword(this, destination);
    if (!answer)
        return std::nullopt;
    // Kept once the keyring gets to it; this window does not wait for that.
    if (answer->remember && m_factories.createKeyring)
        keyring()->writeLater(passwordKey(readMailAccount(m_settings)), answer->password, this,
                              [this](const QString &failure) {
                                  if (!failure.isEmpty())
                                      MessageBoxes::showFailure(this, failure);
                              });
    return answer->password;
}

namespace {

// For a window made without a keyring: remembers nothing.
class NoPasswordStore final : public PasswordStore
{
public:
    std::optional<QString> read(const QString &) override { return std::nullopt; }
    void write(const QString &, const QString &) override {}
    void remove(const QString &) override {}
};

} // namespace

std::shared_ptr<PasswordStore> frmMain::keyring()
{
    if (!m_keyring)
        m_keyring = m_factories.createKeyring
                        ? std::shared_ptr<PasswordStore>(m_factories.createKeyring())
                        : std::make_shared<NoPasswordStore>();
    return m_keyring;
}

void frmMain::frmMain_MailAccount()
{
    // The running Send files into the current outbox; it must not change under it.
    if (isSending())
        throw Refusal(
            QStringLiteral("A Send is under way. Change the mail account once it has ended."));
    // The drafts being listed or sent come from the account as it was.
    if (isSendingDrafts())
        throw Refusal(QStringLiteral("The reviewed drafts are being sent. Change the mail "
                                     "account once that has ended."));
    frmAccount account(m_settings, *keyring(), this);
    account.setAddress(cboFrom->currentText());
    if (account.exec() != QDialog::Accepted)
        return;
    // The next Send goes where the dialog says.
    showDestination();
    m_controller->setOutbox(m_factories.makeOutbox(m_settings), account.typedPassword());
    m_review->setPassword(account.typedPassword());
    m_previewDelay->start();
}

void frmMain::showDestination()
{
    lineDestination->setText(destinationText(m_settings));
    lblSizeLimit->setText(providerLimitText(m_settings));
    lineDestination->setSendDraftsOffered(m_factories.makeReviewedSend &&
                                          offersReviewedSendNow(m_settings));
    layoutControls();
}

bool frmMain::isSending() const
{
    return m_controller && m_controller->isSending();
}

bool frmMain::isSendingDrafts() const
{
    return m_review && m_review->isBusy();
}

Outbox &frmMain::outbox() const
{
    return m_controller->outbox();
}

void frmMain::showProgress()
{
    if (!isSending() || m_progress)
        return;
    QApplication::restoreOverrideCursor();
    m_progress = new frmProgress(m_controller->send(), this);
    // Shown without modality (see frmProgress); the window beneath drops input meanwhile.
    m_progress->show();
}

void frmMain::onSendFinished(const SendEnd &end)
{
    const bool progressShown = m_progress && !m_progress->hasEnded();
    if (!progressShown)
        QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(this);
    runGuarded(this, [this, &end, progressShown] { showSendEnd(end, progressShown); });
}

void frmMain::showSendEnd(const SendEnd &end, bool progressShown)
{
    const auto closeProgress = [this] {
        if (m_progress)
            m_progress->deleteLater();
    };
    const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    // What went is unticked: a Send now sends the rest, split as before.
    m_fileList->untick(end.untick);
    switch (end.kind) {
    case SendEnd::Kind::PasswordWanted:
        closeProgress();
        if (!m_factories.askPassword)
            throw PasswordWanted(outbox().destination());
        // Sent again as the person clicked, now with the password typed.
        if (askForPassword())
            QTimer::singleShot(0, this,
                               [this] { runGuarded(this, [this] { frmMain_cmdSend_Click(); }); });
        return;
    case SendEnd::Kind::Failed:
        // Failures keep their box; the progress window would only repeat it.
        setOutcome(keepPathWhole(outcomeLine(now, end.summary)));
        closeProgress();
        throw Failure(end.failure);
    case SendEnd::Kind::Done:
    case SendEnd::Kind::Stopped:
        break;
    }
    // Whatever the Send's length and whether or not the desktop shows notifications.
    setOutcome(keepPathWhole(outcomeLine(now, end.summary)));
    // Told on the desktop when nobody saw it end here: too short for the progress window,
    // or while the person works in another program.
    const QWidget *active = QApplication::activeWindow();
    const bool watched = active && (active == this || active == m_progress.data());
    if (m_factories.notify && (!progressShown || !watched))
        m_factories.notify(QStringLiteral("Ferrymail"), end.summary);
    if (progressShown)
        m_progress->showEnd(keepPathWhole(end.summary), folderOpener());
}

std::function<void()> frmMain::folderOpener()
{
    const QString folder = outbox().localFolder();
    if (folder.isEmpty() || !m_factories.openFolder || !QFileInfo(folder).isDir())
        return {};
    return [this, open = m_factories.openFolder, folder] {
        if (open(folder))
            return;
        const QString text = QStringLiteral("Could not open the folder %1.").arg(folder);
        if (m_progress)
            m_progress->showNote(keepPathWhole(text));
        setOutcome(keepPathWhole(lblOutcome->text() + QStringLiteral(" ") + text));
    };
}

bool frmMain::dropsInputWhileSending(QObject *watched, QEvent *event) const
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        break;
    default:
        return false;
    }
    const auto *widget = qobject_cast<const QWidget *>(watched);
    return widget && widget->window() == this;
}

void frmMain::frmMain_cmdSendDrafts_Click()
{
    if (isSending() || isSendingDrafts() || !m_factories.makeReviewedSend)
        return;
    // The end of the previous run, if still shown, is not this one's.
    setOutcome(QString());
    // The parts are made on the worker: the keyring, a PasswordCommand and the servers may
    // take their time. It reads a copy of the account, never this window's store.
    m_review->plan([make = m_factories.makeReviewedSend, settings = mailAccountSnapshot(m_settings),
                    keyring = keyring()](const std::optional<QString> &password,
                                         const std::function<bool()> &cancelled) {
        return make(*settings, password, keyring, cancelled);
    });
    updateStartButtons();
}

void frmMain::updateStartButtons()
{
    // The other buttons stay: the window is free to use while the drafts go.
    cmdSend->setEnabled(!isSendingDrafts());
    lineDestination->sendDraftsButton()->setEnabled(!isSendingDrafts());
}

void frmMain::showReviewProgress()
{
    if (!isSendingDrafts() || m_reviewProgress)
        return;
    m_reviewProgress = new frmReviewProgress(m_review.get(), this);
    m_reviewProgress->show();
}

void frmMain::onReviewPlanned(const QString &preview)
{
    // The question stands alone: the listing is over.
    delete m_reviewProgress;
    if (!MessageBoxes::confirm(this, QStringLiteral("Send the reviewed drafts"), preview,
                               QStringLiteral("Send"))) {
        m_review->dropPlan();
        updateStartButtons();
        return;
    }
    m_review->send();
}

void frmMain::onReviewFinished(const ReviewedSendEnd &end)
{
    // Told on the desktop as a Send's end is: when too short for the progress window, or
    // while the person works in another program. Seen before the progress window goes.
    const bool progressShown = m_reviewProgress && m_reviewProgress->isVisible();
    const QWidget *active = QApplication::activeWindow();
    const bool watched = active && (active == this || active == m_reviewProgress.data());
    delete m_reviewProgress;
    updateStartButtons();
    if (m_factories.notify && (!progressShown || !watched) &&
        end.kind != ReviewedSendEnd::Kind::PasswordWanted &&
        end.kind != ReviewedSendEnd::Kind::Failed)
        m_factories.notify(QStringLiteral("Ferrymail"), end.summary);
    runGuarded(this, [this, &end] { showReviewEnd(end); });
}

void frmMain::showReviewEnd(const ReviewedSendEnd &end)
{
    if (end.kind == ReviewedSendEnd::Kind::PasswordWanted) {
        if (!m_factories.askPassword)
            throw Failure(end.box);
        const std::optional<QString> password =
            askPasswordFor(reviewedSendPasswordFor(readMailAccount(m_settings)));
        if (!password)
            return;
        // Listed again as the person clicked, now with the password typed; the next Send
        // logs in with it too.
        m_review->setPassword(*password);
        if (m_controller->hasOutbox() && outbox().needsPassword())
            m_controller->setPassword(*password);
        QTimer::singleShot(0, this,
                           [this] { runGuarded(this, [this] { frmMain_cmdSendDrafts_Click(); }); });
        return;
    }
    const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    setOutcome(keepPathWhole(outcomeLine(now, end.summary)));
    if (end.box.isEmpty())
        return;
    if (end.kind == ReviewedSendEnd::Kind::Failed)
        MessageBoxes::showFailure(this, end.box);
    else
        MessageBoxes::show(this, QMessageBox::Warning, QStringLiteral("Ferrymail"), end.box);
}

void frmMain::frmMain_cmdAbout_Click()
{
    frmAbout about(sendEffectText(m_settings), this);
    about.exec();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (isSending()) {
        if (!MessageBoxes::ask(this, QStringLiteral("Ferrymail"),
                               QStringLiteral("A Send is under way. Stop it and close?\n\n"
                                              "Messages already in the outbox stay there."))) {
            event->ignore();
            return;
        }
        // Its end is told at once, as any other's.
        m_controller->stopAndWait();
        delete m_progress;
    }
    if (isSendingDrafts()) {
        if (m_review->isSending() &&
            !MessageBoxes::ask(this, QStringLiteral("Ferrymail"),
                               QStringLiteral("The reviewed drafts are being sent. Stop and "
                                              "close?\n\nDrafts already sent have gone; the "
                                              "rest stay in the Drafts folder."))) {
            event->ignore();
            return;
        }
        m_review->stopAndWait();
    }
    runGuarded(this, [this] {
        bool cancel = false;
        frmMain_Form_Unload(cancel);
    });
    event->accept();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (isSending() && dropsInputWhileSending(watched, event))
        return true;
    // While a Send runs this filter sees every object's events: keys for the progress window
    // or a question box are theirs.
    if (event->type() != QEvent::KeyPress || !m_enterControls.contains(watched))
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return QWidget::eventFilter(watched, event);
    // An open drop-down list takes Enter as the choice of its entry.
    if (auto *combo = qobject_cast<QComboBox *>(watched); combo && combo->view()->isVisible())
        return QWidget::eventFilter(watched, event);
    if (auto *button = qobject_cast<QToolButton *>(watched)) {
        button->click();
        return true;
    }
    cmdSend->click();
    return true;
}

void frmMain::onFocusChanged(QWidget *old, QWidget *now)
{
    // Only a move to another control of this window counts: not the drop-down's own list,
    // not another window or a message box.
    if (!old || !now || now->window() != this)
        return;
    const auto inFolderField = [this](QWidget *w) {
        return w == cboPath || cboPath->isAncestorOf(w);
    };
    if (!inFolderField(old) || inFolderField(now))
        return;
    runGuarded(this, [this] {
        bool cancel = false;
        frmMain_cboPath_Validate(cancel);
    });
}
