#include "ui/settings/SettingsWidget.h"
#include "ui/settings/SettingsWindow.h"

#include "base/Clock.h"
#include "delivery/SchedulerFakes.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"
#include "ui/theme/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

class FakeShortcuts final : public ShortcutAccess {
public:
    bool holdsKeys() const override { return holds; }
    std::optional<QString> text(const QString& name) const override {
        const auto found = stored.find(name);
        return found != stored.end() && found->second ? std::optional(QKeySequence(*found->second).toString())
                                                      : std::nullopt;
    }
    std::optional<QString> problem(const QString& name) const override {
        return problems.contains(name) ? std::optional(problems.at(name)) : std::nullopt;
    }
    void set(const QString& name, std::optional<QKeyCombination> combination) override {
        stored[name] = combination;
        problems.erase(name);
        Q_EMIT changed();
    }
    void setRecording(bool on) override { recording = on; }
    RecorderModel::Checks checks() override {
        return {[](Qt::Key) { return true; }, [this](QKeyCombination k) { return k == takenByDesktop; },
                [](QKeyCombination k) { return QKeySequence(k).toString(); }};
    }

    bool holds = true;
    bool recording = false;
    QKeyCombination takenByDesktop = Qt::CTRL | Qt::ALT | Qt::Key_T;
    std::map<QString, std::optional<QKeyCombination>> stored{{u"capture"_s, Qt::CTRL | Qt::ALT | Qt::Key_Space}};
    std::map<QString, QString> problems;
};

class SettingsWindowTest : public ::testing::Test {
protected:
    SettingsWindowTest()
        : clock(test::at(test::berlin(), 2026, 3, 14, 12, 0), test::berlin())
        , theme(QDBusConnection(u"none"_s), Theme::Options{}) {}

    SettingsWindow& window() {
        if (!window_) {
            window_ = std::make_unique<SettingsWindow>(SettingsWindow::Services{
                prefs, clock, theme, launch, shortcuts, nullptr, [this](QWidget*, const QString& current) {
                    startedAt = current;
                    return chosen;
                }});
        }
        return *window_;
    }

    void type(QLineEdit& field, const QString& text) {
        field.setText(text);
        Q_EMIT field.editingFinished();
    }

    QTemporaryDir dir;
    Preferences prefs{dir.filePath(u"plim.conf"_s)};
    ManualClock clock;
    Theme theme;
    test::FakeLaunchAtLogin launch;
    FakeShortcuts shortcuts;
    std::optional<QString> chosen;
    QString startedAt;
    std::unique_ptr<SettingsWindow> window_;
};

TEST_F(SettingsWindowTest, EveryControlStoresItsKeyAndAnnounces) {
    prefs.setValue(PreferenceKey::opacity, 0.8);
    SettingsWindow& w = window();
    const std::tuple<std::function<void()>, QLatin1String, QVariant> cases[] = {
        {[&] { type(w.opacityRow().field(), u"62"_s); }, PreferenceKey::opacity, 0.6},
        {[&] { w.opacityRow().slider().setValue(0); }, PreferenceKey::opacity, 0.3},
        {[&] { type(w.blurRow().field(), u"12"_s); }, PreferenceKey::blurRadius, 8.0},
        {[&] { type(w.textSizeRow().row().field(), u"60"_s); }, PreferenceKey::textSize, 48.0},
        {[&] { w.drawerTextSizeRow().row().slider().setValue(18); }, PreferenceKey::drawerTextSize, 30.0},
        {[&] { w.fontPicker().setCurrentIndex(1); }, PreferenceKey::font, u"openDyslexic"_s},
        {[&] { w.ringHereToggle().setChecked(false); }, PreferenceKey::ringOnThisMac, false},
        {[&] { w.dayStartPicker().setTime(QTime(9, 15)); }, PreferenceKey::dayStart, 555},
        {[&] { w.dayEndPicker().setTime(QTime(22, 0)); }, PreferenceKey::dayEnd, 1320},
    };
    for (const auto& [act, key, stored] : cases) {
        SCOPED_TRACE(key.data());
        QSignalSpy changed(&prefs, &Preferences::changed);
        act();
        EXPECT_EQ(prefs.value(key), stored);
        EXPECT_EQ(changed.count(), 1);
    }
    EXPECT_EQ(w.opacityRow().field().text(), u"30"_s);
    EXPECT_EQ(w.textSizeRow().row().field().text(), u"48"_s);
    EXPECT_EQ(w.textSizeRow().sample().font().pixelSize(), 48);

    // Text that is no number leaves the value as it was.
    QSignalSpy changed(&prefs, &Preferences::changed);
    type(w.blurRow().field(), u"lots"_s);
    EXPECT_EQ(w.blurRow().field().text(), u"8"_s);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(SettingsWindowTest, TheRecorderRefusesWithAWarningAndStoresTheNextCombination) {
    shortcuts.problems[u"capture"_s] = u"Ctrl+Alt+Space is used by another program"_s;
    SettingsWindow& w = window();
    w.show();
    w.showPane(SettingsWindow::Pane::Capture);
    ASSERT_EQ(w.recorders().size(), 3);
    ShortcutRecorderWidget& capture = *w.recorders().at(0);
    EXPECT_EQ(capture.field().text(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Space).toString());
    ShortcutRecorderWidget& manage = *w.recorders().at(2);
    EXPECT_TRUE(manage.field().text().isEmpty());
    EXPECT_EQ(manage.field().placeholderText(), u"Record Shortcut"_s);
    // A shortcut that does nothing says so beside it.
    EXPECT_FALSE(capture.warning().isHidden());
    EXPECT_EQ(capture.warning().text(), shortcuts.problems[u"capture"_s]);
    EXPECT_TRUE(manage.warning().isHidden());

    QTest::mouseClick(&capture.field(), Qt::LeftButton);
    EXPECT_TRUE(shortcuts.recording);
    EXPECT_EQ(capture.field().text(), u"Press Shortcut"_s);
    for (const QKeyCombination refused : {Qt::CTRL | Qt::Key_W, Qt::CTRL | Qt::ALT | Qt::Key_T}) {
        QTest::keyClick(&capture.field(), refused.key(), refused.keyboardModifiers());
        EXPECT_FALSE(capture.warning().isHidden());
        EXPECT_TRUE(capture.isRecording());
    }
    EXPECT_EQ(shortcuts.stored[u"capture"_s], Qt::CTRL | Qt::ALT | Qt::Key_Space);
    QTest::keyClick(&capture.field(), Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(shortcuts.stored[u"capture"_s], Qt::CTRL | Qt::ALT | Qt::Key_N);
    EXPECT_FALSE(shortcuts.recording);
    EXPECT_TRUE(capture.warning().isHidden());
    EXPECT_EQ(capture.field().text(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_N).toString());

    capture.clearButton().click();
    EXPECT_EQ(shortcuts.stored[u"capture"_s], std::nullopt);
    EXPECT_TRUE(capture.field().text().isEmpty());

    // A recorder gone while recording lets the shortcuts work again.
    QTest::mouseClick(&manage.field(), Qt::LeftButton);
    EXPECT_TRUE(shortcuts.recording);
    window_.reset();
    EXPECT_FALSE(shortcuts.recording);
}

TEST_F(SettingsWindowTest, WhereNoProgramHoldsKeysTheCommandsAreShown) {
    shortcuts.holds = false;
    SettingsWindow& w = window();
    EXPECT_TRUE(w.recorders().isEmpty());
    ASSERT_NE(w.bindCommands(), nullptr);
    QStringList texts;
    for (const QLabel* label : w.findChildren<QLabel*>()) {
        texts << label->text();
    }
    for (const QString& command : {u"plim capture"_s, u"plim clip"_s, u"plim notes"_s}) {
        EXPECT_TRUE(texts.contains(command)) << command.toStdString();
    }
    shortcuts.holds = true;
    Q_EMIT shortcuts.changed();
    EXPECT_EQ(w.recorders().size(), 3);
    EXPECT_EQ(w.bindCommands(), nullptr);
}

TEST_F(SettingsWindowTest, TheNotificationRowFollowsTheServerWhenTheRemindersPaneAppears) {
    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    NotesStore store(prefs, clock, NotesStore::Options{dir.filePath(u"plim.md"_s), false});
    store.load();
    auto owned = std::make_unique<test::FakeNotifier>();
    test::FakeNotifier& notifier = *owned;
    ReminderScheduler scheduler(store, std::move(owned), std::make_unique<test::FakeSystemEvents>());
    SettingsWindow w(SettingsWindow::Services{prefs, clock, theme, launch, shortcuts, &scheduler, {}});
    w.show();
    // Not read until the pane appears.
    EXPECT_TRUE(w.notificationStatus().text().isEmpty());
    EXPECT_TRUE(w.notificationButton().isHidden());
    // Until notifications are chosen the row offers to turn them on; that choice is stored and read back.
    notifier.caps = {true, true, false, false};
    w.showPane(SettingsWindow::Pane::Reminders);
    EXPECT_EQ(w.notificationStatus().text(), u"Off"_s);
    ASSERT_FALSE(w.notificationButton().isHidden());
    EXPECT_EQ(w.notificationButton().text(), u"Turn On"_s);
    w.notificationButton().click();
    EXPECT_EQ(prefs.reminderDelivery(), ReminderDelivery::Notification);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.notificationStatus().text() == u"On · Temporary"_s; }, 10000));
    EXPECT_EQ(w.notificationButton().text(), u"Notification Settings…"_s);
    qunsetenv("XDG_CURRENT_DESKTOP");
}

} // namespace
