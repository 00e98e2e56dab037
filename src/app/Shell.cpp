#include "app/Shell.h"

#include "app/ConflictCopyMerger.h"
#include "app/GlobalShortcuts.h"
#include "app/KeyboardShortcuts.h"
#include "app/ResidentLog.h"
#include "app/SettingsShortcuts.h"
#include "app/TrayPresenter.h"
#include "delivery/ReminderScheduler.h"
#include "platform/DesktopServices.h"
#include "platform/linux/ActivationToken.h"
#include "platform/linux/DBusNotifier.h"
#include "platform/linux/DisplayCheck.h"
#include "platform/linux/LinuxSystemEvents.h"
#include "platform/linux/PortalHotKeys.h"
#include "platform/linux/QtDesktopServices.h"
#include "platform/linux/X11HotKeys.h"
#include "platform/linux/XdgAutostart.h"
#include "reminders/EntryReminders.h"
#include "store/NotesStore.h"
#include "ui/capture/CaptureController.h"
#include "ui/manage/ManageModel.h"
#include "ui/manage/ManageWindow.h"
#include "ui/manage/ManageWindowController.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/theme/Fonts.h"
#include "ui/theme/Mark.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <malloc.h>
#include <memory>
#include <utility>

namespace plim {

namespace {

// Keys held by the program itself on X11; on Wayland only the desktop's portal may hold them.
std::unique_ptr<GlobalHotKeys> desktopHotKeys() {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return std::make_unique<PortalHotKeys>();
    }
    return X11HotKeys::create();
}

} // namespace

Shell::Shell(NotesStore& store, QObject* parent)
    : QObject(parent)
    , store_(store)
    , theme_(std::make_unique<Theme>())
    , desktop_(std::make_unique<QtDesktopServices>())
    , alerts_(std::make_unique<DBusNotifier>(QDBusConnection::sessionBus(),
                                             DBusNotifier::Options{.icon = Mark::notificationIcon()})) {
    // A large notes file takes a while to read: it is read on a thread of its own while the icon
    // goes up and the drawer is made, and the start goes on once it is in (at once when a request
    // comes first).
    reader_.reset(QThread::create([this, path = store_.filePath()] { readAhead_ = NotesStore::readAhead(path); }));
    connect(reader_.get(), &QThread::finished, this, &Shell::ready);
    reader_->start();

    createTray();
    connect(this, &Shell::openRequested, this, &Shell::openNotes);
    connect(this, &Shell::showEntryRequested, this,
            [this](QUuid entry, const QString& when) { notesWindow().showEntry(entry, when); });
    connect(this, &Shell::keysRequested, this, &Shell::openKeys);
    refresh();
    // The icon is asked for before anything else is made.
    flushDisplay();
    attachShortcuts();
    // The drawer is made while the file is read; the notes window on first use.
    QTimer::singleShot(0, this, [this] { drawer(); });
    if (!tray_->available()) {
        tellOfMissingTrayOnceKnown();
        // Nothing else would show the program is there: the notes window opens once it runs.
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT openRequested(std::nullopt); }, Qt::QueuedConnection);
    }
}

// The reader is waited for. The notes window goes before the scheduler (members are destroyed in
// reverse order); its frame is saved as it goes.
Shell::~Shell() {
    if (reader_) {
        reader_->wait();
    }
}

void Shell::ready() {
    if (std::exchange(started_, true)) {
        return;
    }
    reader_->wait();
    store_.load(std::move(readAhead_));
    readAhead_ = {};
    store_.purgeTrash();
    connect(&store_, &NotesStore::changed, this, &Shell::refresh);
    connect(&store_, &NotesStore::errorChanged, this, &Shell::onStoreError);
    // A conflict copy the sync tool leaves beside the notes is merged back once it is written.
    conflicts_ = std::make_unique<ConflictCopyMerger>(store_, *alerts_);
    // An error of the first load is new too; the icon shows what rings.
    onStoreError();
    // Its first pass rings what came due while the program was not running.
    scheduler();
    // What reading the file took and gave back lies among what it keeps: hand those pages back.
    ::malloc_trim(0);
}

void Shell::registerFonts() {
    // Once: each registration would add the files again.
    if (!fontsRegistered_) {
        fontsRegistered_ = true;
        Fonts::registerFonts();
    }
}

CaptureController& Shell::drawer() {
    if (!drawer_) {
        registerFonts();
        drawer_ = std::make_unique<CaptureController>(store_, *desktop_, *theme_);
        connect(drawer_.get(), &CaptureController::openManageRequested, this, &Shell::toggleNotes);
        connect(drawer_.get(), &CaptureController::keysRequested, this, &Shell::keysRequested);
    }
    return *drawer_;
}

ReminderScheduler& Shell::scheduler() {
    ready();
    if (!scheduler_) {
        scheduler_ = std::make_unique<ReminderScheduler>(
            store_,
            std::make_unique<DBusNotifier>(QDBusConnection::sessionBus(),
                                           DBusNotifier::Options{.icon = Mark::notificationIcon()}),
            std::make_unique<LinuxSystemEvents>(store_.clock()));
        connect(scheduler_.get(), &ReminderScheduler::openRequested, this, &Shell::openRequested);
        connect(scheduler_.get(), &ReminderScheduler::unreadable, this, &Shell::showEntryRequested);
        connect(scheduler_.get(), &ReminderScheduler::snoozeAsked, this,
                [this](QUuid entry) { Q_EMIT showEntryRequested(entry, QString()); });
        connect(scheduler_.get(), &ReminderScheduler::ringingChanged, this, &Shell::refresh);
    }
    return *scheduler_;
}

LaunchAtLogin& Shell::launchAtLogin() {
    if (!launchAtLogin_) {
        launchAtLogin_ = std::make_unique<XdgAutostart>(XdgAutostart::forThisProgram());
    }
    return *launchAtLogin_;
}

ManageWindowController& Shell::notes() {
    ready();
    if (!notes_) {
        registerFonts();
        notes_ = std::make_unique<ManageWindowController>(store_, *desktop_, *theme_, launchAtLogin());
        connect(notes_.get(), &ManageWindowController::notificationsRequested, &scheduler(),
                &ReminderScheduler::requestNotifications);
        // Entries start ringing, and days begin, without the file changing.
        connect(&scheduler(), &ReminderScheduler::ringingChanged, notes_.get(),
                &ManageWindowController::ringingChanged);
        connect(notes_.get(), &ManageWindowController::settingsRequested, this, &Shell::openSettings);
        notes_->setShortcuts(global_->reachable());
    }
    return *notes_;
}

ManageWindow& Shell::notesWindow() {
    return notes().window();
}

SettingsWindow& Shell::settingsWindow() {
    ready();
    if (!settingsWindow_) {
        registerFonts();
        settingsShortcuts_ = std::make_unique<SettingsShortcuts>(*keys_, *global_);
        settingsWindow_ = std::make_unique<SettingsWindow>(SettingsWindow::Services{
            store_.preferences(), store_.clock(), *theme_, launchAtLogin(), *settingsShortcuts_, &scheduler(), {}});
    }
    return *settingsWindow_;
}

void Shell::openSettings() {
    settingsWindow().present();
}

void Shell::toggleNotes(std::optional<QUuid> revealing) {
    notesWindow().toggle(revealing);
}

void Shell::openNotes(std::optional<QUuid> revealing) {
    ManageWindow& window = notesWindow();
    window.present();
    if (revealing) {
        window.model().reveal(revealing);
    }
}

void Shell::openKeys() {
    ManageWindow& window = notesWindow();
    window.present();
    window.model().showKeys();
    // No field keeps the keyboard: the guide's own keys (the arrows, Esc) reach the window.
    window.setFocus(Qt::OtherFocusReason);
}

void Shell::openSweep() {
    ManageWindow& window = notesWindow();
    window.present();
    window.model().startSweep();
}

void Shell::openLater() {
    ManageWindow& window = notesWindow();
    window.present();
    window.model().showLater();
}

void Shell::createTray() {
    tray_ = std::make_unique<TrayPresenter>(*theme_);
    connect(tray_.get(), &TrayPresenter::clicked, this, [this] { openNotes(std::nullopt); });
    connect(tray_.get(), &TrayPresenter::triggered, this, &Shell::run);
}

const TrayModel::State& Shell::trayState() const {
    return tray_->state();
}

bool Shell::hasTray() const {
    return tray_->available();
}

void Shell::attachShortcuts() {
    keys_ = std::make_unique<KeyboardShortcuts>(store_.preferences());
    global_ = std::make_unique<GlobalShortcuts>(*keys_, desktopHotKeys());
    global_->onKeyDown(KeyboardShortcuts::Name::capture(), [this] {
        // Keys typed right after the shortcut wait for the drawer's editor, also while the notes
        // file is still being read.
        auto hold = global_->holdKeyboard();
        ready();
        drawer().toggle(std::move(hold));
    });
    global_->onKeyDown(KeyboardShortcuts::Name::manage(), [this] {
        ready();
        toggleNotes(drawer().takeRecentCapture());
    });
    global_->onKeyDown(KeyboardShortcuts::Name::captureClipboard(), [this] {
        ready();
        drawer().captureClipboard();
    });
    // Every text names the keys that work now, or the command where none does.
    connect(global_.get(), &GlobalShortcuts::reachChanged, this, [this] {
        if (notes_) {
            notes_->setShortcuts(global_->reachable());
        }
    });
    connect(global_.get(), &GlobalShortcuts::unavailableChanged, this, &Shell::refresh);
}

void Shell::handle(const InstanceMessage& message) {
    ready();
    // The command's token lets the window it shows take the keyboard.
    const ActivationTokenScope token(message.token);
    switch (message.request) {
    case Request::Open:
        Q_EMIT openRequested(std::nullopt);
        break;
    case Request::Background:
    case Request::Quit:
        break;
    case Request::Capture:
        drawer().toggle();
        break;
    case Request::Clip:
        drawer().captureClipboard();
        break;
    case Request::Notes:
        toggleNotes(std::nullopt);
        break;
    case Request::Sweep:
        openSweep();
        break;
    case Request::Later:
        openLater();
        break;
    case Request::Keys:
        openKeys();
        break;
    case Request::Settings:
        openSettings();
        break;
    }
}

void Shell::saveState() {
    if (drawer_) {
        drawer_->saveDraft();
    }
    // Changes kept while another plim process held the file are made now, or they would be lost.
    store_.finishPendingChanges(std::chrono::seconds(3));
}

QList<TrayModel::UnavailableShortcut> Shell::unavailableShortcuts() const {
    QList<TrayModel::UnavailableShortcut> list;
    if (!global_) {
        return list;
    }
    for (const KeyboardShortcuts::Name& name : global_->unavailable()) {
        const auto shortcut = keys_->getShortcut(name);
        const auto why = global_->refusal(name);
        if (shortcut && why) {
            list.append({shortcut->presentableDescription(), why->status, why->turnedDown});
        }
    }
    return list;
}

void Shell::refresh() {
    TrayModel::Inputs inputs;
    inputs.ringing = store_.counts().ringing(store_.clock().now());
    if (const auto error = store_.shownError()) {
        inputs.storeError = error->message();
    }
    inputs.unavailable = unavailableShortcuts();
    tray_->show(TrayModel::state(inputs));
}

void Shell::run(TrayModel::Action action) {
    ready();
    switch (action) {
    case TrayModel::Action::Now:
        openNow();
        break;
    case TrayModel::Action::ShowNotesFile:
        revealNotesFile();
        break;
    case TrayModel::Action::ShowTrash:
        revealTrash();
        break;
    case TrayModel::Action::Quit:
        // Not quit(): the open drawer would refuse to close and keep the program running.
        QCoreApplication::exit(0);
        break;
    case TrayModel::Action::Capture:
        drawer().show();
        break;
    case TrayModel::Action::CaptureClipboard:
        drawer().captureClipboard();
        break;
    case TrayModel::Action::Open:
        openNotes(std::nullopt);
        break;
    case TrayModel::Action::Sweep:
        openSweep();
        break;
    case TrayModel::Action::Later:
        openLater();
        break;
    case TrayModel::Action::Keys:
        openKeys();
        break;
    case TrayModel::Action::Settings:
        openSettings();
        break;
    case TrayModel::Action::Problem:
    case TrayModel::Action::Separator:
        break;
    }
}

void Shell::openNow() {
    const QList<Entry> ringing = EntryReminders::ringing(store_.document(), store_.clock().now(),
                                                         store_.clock().calendar(), store_.preferences().anchors());
    Q_EMIT openRequested(ringing.isEmpty() ? std::nullopt : std::optional<QUuid>(ringing.front().id));
}

void Shell::revealNotesFile() {
    store_.ensureFileExists();
    desktop_->revealFile(store_.filePath());
}

void Shell::revealTrash() {
    const QString trash = store_.trashFilePath();
    if (QFileInfo::exists(trash)) {
        desktop_->revealFile(trash);
        return;
    }
    // Nothing was ever deleted: the folder that would hold the trash, selected in its parent.
    const QString folder = QFileInfo(trash).absolutePath();
    if (!QFileInfo::exists(folder)) {
        store_.ensureFileExists();
    }
    desktop_->revealFile(folder);
}

void Shell::onStoreError() {
    refresh();
    // A moment's contention is not told; what waits longer is, until it is saved.
    const auto error = store_.shownError();
    const std::optional<QString> message = error ? std::optional<QString>(error->message()) : std::nullopt;
    if (message == toldError_) {
        return;
    }
    toldError_ = message;
    if (!error) {
        if (errorNotification_ != 0) {
            alerts_->close(std::exchange(errorNotification_, 0));
        }
        return;
    }
    alerts_->post(TrayModel::errorNotification(*error), errorNotification_,
                  [this, told = *message](std::optional<quint32> id) {
                      if (!id) {
                          return;
                      }
                      // The error may have been mended or replaced before the server answered.
                      if (toldError_ == told) {
                          errorNotification_ = *id;
                      } else if (*id != errorNotification_) {
                          alerts_->close(*id);
                      }
                  });
}

void Shell::tellOfMissingTrayOnceKnown() {
    // Where a portal is asked for the shortcuts, the hint names the capture keys only once it has
    // had its time to say no (it says no sooner where there is none).
    if (!global_->hasHotKeys() || !QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        tellOfMissingTray();
        return;
    }
    auto told = std::make_shared<bool>(false);
    const auto tell = [this, told] {
        if (!std::exchange(*told, true)) {
            tellOfMissingTray();
        }
    };
    connect(global_.get(), &GlobalShortcuts::unavailableChanged, this, tell, Qt::SingleShotConnection);
    QTimer::singleShot(PortalHotKeys::kAnswerWithin + std::chrono::milliseconds(500), this, tell);
}

void Shell::tellOfMissingTray() {
    const std::optional<QString> keys = global_->keys(KeyboardShortcuts::Name::capture());
    residentSay(stderr, TrayModel::noTrayText(keys));
    alerts_->post(TrayModel::noTrayNotification(keys), 0, [](std::optional<quint32>) {});
}

} // namespace plim
