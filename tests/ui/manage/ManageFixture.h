#pragma once

#include "notes/Clock.h"
#include "notes/NotesStore.h"
#include "notes/Preferences.h"
#include "platform/DesktopServices.h"
#include "platform/LaunchAtLogin.h"
#include "ui/manage/ManageModel.h"

#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace plim::test {

class FakeDesktop final : public DesktopServices {
public:
    QString clipboardText() const override { return clipboard; }
    void setClipboardText(const QString& text) override { clipboard = text; }
    bool openUrl(const QUrl& url) override {
        opened.append(url.toString());
        return true;
    }
    void revealFile(const QString&) override {}
    void beep() override {}

    QString clipboard;
    QStringList opened;
};

class FakeLaunchAtLogin final : public LaunchAtLogin {
public:
    bool isRegistered() const override { return registered; }
    bool setRegistered(bool on) override {
        registered = on;
        return true;
    }
    bool registered = false;
};

// Cases are named after their `name` field.
inline const auto ByName = [](const auto& p) { return p.param.name; };

inline const Calendar& berlin() {
    static const Calendar calendar(QStringLiteral("Europe/Berlin"));
    return calendar;
}

// A notes window over a real store on a temporary notes file, on Saturday 2026-03-14 at 12:00
// in Berlin.
class ManageFixture {
public:
    ManageFixture() {
        prefs = std::make_unique<Preferences>(dir.filePath(QStringLiteral("plim.conf")));
        clock = std::make_unique<ManualClock>(at(berlin(), 2026, 3, 14, 12, 0), berlin());
        path = dir.filePath(QStringLiteral("plim.md"));
    }

    // Writes the notes file, loads it and makes the model.
    ManageModel& open(const QStringList& lines) {
        model.reset();
        store.reset();
        writeAll(path, lines.isEmpty() ? QByteArray() : (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        store = std::make_unique<NotesStore>(*prefs, *clock, NotesStore::Options{path, false});
        store->load();
        model = std::make_unique<ManageModel>(*store, desktop, login);
        model->setCloseWindow([this] { ++closed; });
        return *model;
    }

    // The list as the window draws it: "# heading", "- text", "+ hidden".
    QStringList picture() const {
        QStringList out;
        for (const ManageModel::Row& row : model->rows()) {
            using Kind = ManageModel::Row::Kind;
            out << (row.kind == Kind::Header  ? QStringLiteral("# ") + row.heading
                    : row.kind == Kind::Entry ? QStringLiteral("- ") + row.entry.text
                                              : QStringLiteral("+ ") + QString::number(row.hidden));
        }
        return out;
    }

    // The first entry of the notes file with this text.
    QUuid idOf(const QString& text) const { return plim::test::entryId(store->document(), text); }

    std::optional<Entry> entry(const QString& text) const {
        const auto all = store->document().allEntries();
        const auto it = std::find_if(all.begin(), all.end(), [&](const Entry& e) { return e.text == text; });
        return it == all.end() ? std::nullopt : std::optional<Entry>(*it);
    }

    // The states of every entry with this text, in file order.
    QList<Entry::State> states(const QString& text) const {
        QList<Entry::State> out;
        for (const Entry& e : store->document().allEntries()) {
            if (e.text == text) {
                out << e.state;
            }
        }
        return out;
    }

    QString selectedText() const {
        const auto e = model->selectedEntry();
        return e ? e->text : QStringLiteral("(none)");
    }

    static QStringList texts(const QList<Entry>& entries) {
        QStringList out;
        for (const Entry& e : entries) {
            out << e.text;
        }
        return out;
    }
    QStringList visibleTexts() const { return texts(model->visibleEntries()); }
    QStringList sweepTexts() const { return texts(model->sweepQueue()); }

    QString file() const { return QString::fromUtf8(readAll(path)); }

    QTemporaryDir dir;
    std::unique_ptr<Preferences> prefs;
    std::unique_ptr<ManualClock> clock;
    QString path;
    FakeDesktop desktop;
    FakeLaunchAtLogin login;
    std::unique_ptr<NotesStore> store;
    std::unique_ptr<ManageModel> model;
    int closed = 0;
};

} // namespace plim::test
