#pragma once

#include "base/Clock.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"
#include "ui/manage/ManageModel.h"

#include "support/Fakes.h"
#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

namespace plim::test {

// The headings of the fixture's today and of the Thursday before.
inline const QString H14 = QStringLiteral("## 2026-03-14 Saturday");
inline const QString H12 = QStringLiteral("## 2026-03-12 Thursday");

// A notes window over a real store on a temporary notes file, on Saturday 2026-03-14 at 12:00
// in Berlin.
class ManageFixture : public TempNotes {
public:
    ManageFixture()
        : TempNotes(at(berlin(), 2026, 3, 14, 12, 0), berlin()) {}

    // Writes the notes file and loads it.
    ManageModel& open(const QStringList& lines) {
        writeAll(path, lines.isEmpty() ? QByteArray() : (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        return load();
    }
    ManageModel& load() {
        model.reset();
        store = TempNotes::open();
        model = std::make_unique<ManageModel>(*store, desktop, login);
        QObject::connect(model.get(), &ManageModel::closeRequested, [this] { ++closed; });
        return *model;
    }

    // The list as the window draws it: "heading: text, text, +hidden | heading: ...".
    QString picture() const {
        QString out;
        bool first = true;
        for (const ManageModel::Row& row : model->list().rows()) {
            using Kind = ManageModel::Row::Kind;
            if (row.kind == Kind::Header) {
                out += (out.isEmpty() ? QString() : QStringLiteral(" | ")) + row.heading + QLatin1Char(':');
                first = true;
                continue;
            }
            out += (first ? QStringLiteral(" ") : QStringLiteral(", "));
            out += row.kind == Kind::Entry ? row.entry.text : QLatin1Char('+') + QString::number(row.hidden);
            first = false;
        }
        return out;
    }

    // The first entry of the notes file with this text.
    QUuid idOf(const QString& text) const { return entryId(store->document(), text); }
    std::optional<Entry> entry(const QString& text) const { return store->document().entry(idOf(text)); }
    QString selectedText() const {
        const auto e = model->selectedEntry();
        return e ? e->text : QStringLiteral("(none)");
    }
    static QStringList texts(const QList<Entry>& entries) {
        QStringList out;
        std::transform(entries.begin(), entries.end(), std::back_inserter(out), [](const Entry& e) { return e.text; });
        return out;
    }
    QStringList visibleTexts() const { return texts(model->list().entries()); }
    QString file() const { return QString::fromUtf8(readAll(path)); }

    FakeDesktop desktop;
    FakeLaunchAtLogin login;
    std::unique_ptr<NotesStore> store;
    std::unique_ptr<ManageModel> model;
    int closed = 0;
};

// What a test does to the notes window.
using Step = std::function<void(ManageFixture&)>;
inline const Step nothing = [](ManageFixture&) {};
inline Step call(void (ManageModel::*command)()) {
    return [command](ManageFixture& f) { (f.model.get()->*command)(); };
}
inline Step select(const QString& text) {
    return [text](ManageFixture& f) { f.model->select(f.idOf(text)); };
}
inline Step filter(const QString& text) {
    return [text](ManageFixture& f) { f.model->setFilter(text); };
}
// The steps in turn.
inline Step seq(const std::vector<Step>& steps) {
    return [steps](ManageFixture& f) {
        for (const Step& step : steps) {
            step(f);
        }
    };
}
inline Step move(int delta) {
    return [delta](ManageFixture& f) { f.model->moveSelection(delta); };
}
inline Step reveal(const QString& text) {
    return [text](ManageFixture& f) { f.model->reveal(f.idOf(text)); };
}
inline const Step unselect = [](ManageFixture& f) { f.model->select(QUuid::createUuid()); };
inline const Step later = call(&ManageModel::showLater);
inline const Step trash = call(&ManageModel::showTrash);
inline const Step sweep = call(&ManageModel::startSweep);
inline const Step trashed = seq({call(&ManageModel::deleteSelection), trash});
inline Step fileHas(const QString& text) {
    return [text](ManageFixture& f) { EXPECT_TRUE(f.file().contains(text)) << f.file().toStdString(); };
}

// What a step may change, as words "name=value" (no selection: "selected=-"; lists joined by commas,
// with "_" for a space); the check finds each word given.
inline Step is(const QString& words) {
    return [words](ManageFixture& f) {
        using namespace Qt::Literals::StringLiterals;
        const ManageModel& m = *f.model;
        const char* const modes[]{"Log", "Sweep", "Trash", "Later", "Keys"};
        const auto list = [](const QStringList& texts) { return texts.join(u',').replace(u' ', u'_'); };
        const auto when = m.whenFieldID() ? f.store->document().entry(*m.whenFieldID()) : std::nullopt;
        const QStringList state{
            u"mode="_s + QLatin1String(modes[int(m.mode())]),
            u"filter="_s + m.filter(),
            u"closed=%1"_s.arg(f.closed),
            u"focus=%1%2%3"_s.arg(m.listFocusRequest()).arg(m.filterFocusRequest()).arg(m.editFocusRequest()),
            u"editing="_s + (m.editingID() ? m.editingText() : u"-"_s),
            u"selected="_s + (m.selectedID() ? f.selectedText() : u"-"_s),
            u"pointer=%1"_s.arg(m.selectedByPointer()),
            u"scroll=%1"_s.arg(m.keysScroll()),
            u"sweep="_s + (m.sweepCurrent() ? list({m.sweepCurrent()->text}) : QString()),
            u"queue="_s + list(ManageFixture::texts(m.sweep().queue())),
            u"total=%1"_s.arg(m.sweep().total()),
            u"shown="_s + list(f.visibleTexts()),
            u"when="_s + (when ? when->text : u"-"_s)};
        for (const QString& word : words.split(u' ', Qt::SkipEmptyParts)) {
            EXPECT_TRUE(state.contains(word)) << word.toStdString() << " in " << state.join(u' ').toStdString();
        }
    };
}
// Each step, then the words said of what follows it.
inline void play(ManageFixture& f, const std::vector<std::pair<Step, QString>>& script) {
    for (std::size_t i = 0; i < script.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i);
        script[i].first(f);
        is(script[i].second)(f);
    }
}

} // namespace plim::test
