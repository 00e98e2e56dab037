#pragma once

#include "base/Clock.h"
#include "store/NotesStore.h"
#include "ui/capture/CaptureModel.h"
#include "ui/capture/Delays.h"

#include "support/Fakes.h"
#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace plim::test {

// Delays that run when the test advances its clock, in the order they fall due.
class ManualDelays final : public Delays {
public:
    explicit ManualDelays(ManualClock& clock)
        : clock_(clock) {}

    std::unique_ptr<Delay> make() override { return std::make_unique<Hand>(*this); }

    void advance(std::chrono::milliseconds by) {
        const Instant until = clock_.now() + by;
        for (;;) {
            Hand* next = nullptr;
            for (Hand* d : live_) {
                if (d->pending && d->due <= until && (next == nullptr || d->due < next->due)) {
                    next = d;
                }
            }
            if (next == nullptr) {
                break;
            }
            clock_.set(next->due);
            next->pending = false;
            auto run = std::move(next->run);
            run();
        }
        clock_.set(until);
    }

private:
    struct Hand final : Delay {
        explicit Hand(ManualDelays& delays)
            : owner(delays) {
            owner.live_.push_back(this);
        }
        ~Hand() override { std::erase(owner.live_, this); }
        void start(std::chrono::milliseconds after, std::function<void()> f) override {
            due = owner.clock_.now() + after;
            run = std::move(f);
            pending = true;
        }
        void stop() override {
            pending = false;
            run = nullptr;
        }
        bool isPending() const override { return pending; }

        ManualDelays& owner;
        Instant due{};
        std::function<void()> run;
        bool pending = false;
    };

    ManualClock& clock_;
    std::vector<Hand*> live_;
};

// A drawer over a real store on a temporary notes file, on Saturday 2026-03-14 at 12:00 in Berlin.
// `events` records what the drawer asked of its window: "shown", "hidden", "settled" (animated
// hide), "confirming".
class CaptureFixture : public TempNotes {
public:
    explicit CaptureFixture(const QByteArray& file = {}, NotesStore::Options options = {})
        : TempNotes(at(berlin(), 2026, 3, 14, 12, 0), berlin())
        , delays(*clock) {
        writeAll(path, file);
        options.watch = false;
        store = open(options);
        model = std::make_unique<CaptureModel>(*store, desktop, delays);
        QObject::connect(model.get(), &CaptureModel::presented, [this] { events << QStringLiteral("shown"); });
        QObject::connect(model.get(), &CaptureModel::confirming, [this] { events << QStringLiteral("confirming"); });
        QObject::connect(model.get(), &CaptureModel::dismissed, [this](bool animated) {
            events << (animated ? QStringLiteral("settled") : QStringLiteral("hidden"));
        });
    }

    // Shows the drawer and types into it.
    CaptureModel& typed(const QString& text) {
        model->show();
        model->setText(text);
        events.clear();
        return *model;
    }
    CaptureModel::EditorEffect press(int key, Qt::KeyboardModifiers mods = {}, bool canUndo = false) {
        return model->keyPressed({key, mods}, canUndo);
    }
    QString file() const { return QString::fromUtf8(readAll(path)); }
    QString draft() const { return prefs->draft(); }
    void advance(std::chrono::milliseconds by) { delays.advance(by); }

    ManualDelays delays;
    FakeDesktop desktop;
    std::unique_ptr<NotesStore> store;
    std::unique_ptr<CaptureModel> model;
    QStringList events;
};

} // namespace plim::test
