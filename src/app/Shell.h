#pragma once

#include "app/InstanceProtocol.h"
#include "app/TrayModel.h"
#include "store/NotesStore.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE

namespace plim {

class CaptureController;
class ConflictCopyMerger;
class DesktopServices;
class GlobalShortcuts;
class KeyboardShortcuts;
class LaunchAtLogin;
class ManageWindow;
class ManageWindowController;
class Notifier;
class ReminderScheduler;
class SettingsShortcuts;
class SettingsWindow;
class Theme;
class TrayPresenter;

// The resident desktop program: creates the long-lived objects in start-up order and wires them
// together, keeps what the tray shows up to date, answers the requests of `plim` commands
// and the global shortcuts, and tells the user of every new store error. It owns no data.
class Shell final : public QObject {
    Q_OBJECT
public:
    // Needs a QApplication. Loads the store.
    explicit Shell(NotesStore& store, QObject* parent = nullptr);
    ~Shell() override;

    // A request of a `plim` command (the resident program itself ends on Quit).
    void handle(const InstanceMessage& message);
    // Stores what must outlive the program; at quit, on SIGTERM and SIGINT, at session end.
    void saveState();

    // What the tray shows now.
    const TrayModel::State& trayState() const;
    bool hasTray() const;
    // The notes window, made on first use and given up once it has been hidden a while.
    ManageWindow& notesWindow();
    // The settings window, made on first use and kept.
    SettingsWindow& settingsWindow();

Q_SIGNALS:
    // Show the notes window, revealing the entry when one is given ("Open plim", the notes
    // shortcut, "Now", a click on a notification).
    void openRequested(std::optional<QUuid> reveal);
    // Show the notes window on the entry with its when field open, holding `whenText` (a snooze
    // phrase that could not be read, or nothing when a notification asks for a typed time).
    void showEntryRequested(QUuid entry, QString whenText);
    // Show the notes window's keys guide (asked from the drawer).
    void keysRequested();

private:
    // Takes over the notes file read ahead (waiting for it when it is not in yet) and makes what
    // needs it: the rest of the start. Every request goes through here first.
    void ready();
    // The notes window shown on the entry, or hidden when it has the keyboard (the notes shortcut,
    // the drawer's Ctrl+O, `plim notes`).
    void toggleNotes(std::optional<QUuid> revealing);
    void openNotes(std::optional<QUuid> revealing);
    void openKeys();
    void openSweep();
    void openLater();
    void openSettings();
    void createTray();
    void registerFonts();
    // Made on first use: the drawer while the notes file is read, the scheduler once it is in.
    CaptureController& drawer();
    ReminderScheduler& scheduler();
    LaunchAtLogin& launchAtLogin();
    ManageWindowController& notes();
    void attachShortcuts();
    void refresh();
    void run(TrayModel::Action action);
    void openNow();
    void revealNotesFile();
    void revealTrash();
    void onStoreError();
    void tellOfMissingTrayOnceKnown();
    void tellOfMissingTray();
    QList<TrayModel::UnavailableShortcut> unavailableShortcuts() const;

    NotesStore& store_;
    // Reads the notes file while the program starts; done with once `started_`.
    std::unique_ptr<QThread> reader_;
    NotesStore::ReadAhead readAhead_;
    bool started_ = false;
    std::unique_ptr<Theme> theme_;
    std::unique_ptr<DesktopServices> desktop_;
    // Notifications of the shell's own (store errors, no tray), apart from the reminders'.
    std::unique_ptr<Notifier> alerts_;
    std::unique_ptr<ConflictCopyMerger> conflicts_;
    std::unique_ptr<CaptureController> drawer_;
    std::unique_ptr<TrayPresenter> tray_;
    std::unique_ptr<ReminderScheduler> scheduler_;
    std::unique_ptr<KeyboardShortcuts> keys_;
    std::unique_ptr<GlobalShortcuts> global_;
    // Declared last so that the notes window goes before the scheduler and the store it uses.
    std::unique_ptr<LaunchAtLogin> launchAtLogin_;
    std::unique_ptr<ManageWindowController> notes_;
    std::unique_ptr<SettingsShortcuts> settingsShortcuts_;
    std::unique_ptr<SettingsWindow> settingsWindow_;

    bool fontsRegistered_ = false;
    // The error last told of, and its notification, replaced by the next one.
    std::optional<QString> toldError_;
    quint32 errorNotification_ = 0;
};

} // namespace plim
