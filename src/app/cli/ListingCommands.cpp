#include "app/cli/Commands.h"
#include "reminders/EntryReminders.h"

#include "app/cli/Output.h"
#include "base/Shortened.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"

namespace plim::cli {

namespace {

// Reads the only option of list and due; nothing (with a message) for anything else.
std::optional<EntryListing::Format> listingFormat(const Context& ctx) {
    auto format = EntryListing::Format::Text;
    for (const QString& a : ctx.args) {
        if (a != QLatin1String("--json")) {
            err(QStringLiteral("%1: unknown argument '%2'").arg(ctx.command, shortened(a)));
            return std::nullopt;
        }
        format = EntryListing::Format::Json;
    }
    return format;
}

} // namespace

int list(const Context& ctx) {
    const auto format = listingFormat(ctx);
    if (!format) {
        return kUsage;
    }
    auto store = openStore(ctx);
    if (const int status = storeStatus(*store); status != kOk) {
        return status;
    }
    EntryListing listing(*format);
    for (const DaySection& s : store->document().sections) {
        for (const Item& item : s.items) {
            if (const auto* e = std::get_if<Entry>(&item)) {
                listing.entry(*e, s.heading);
            }
        }
    }
    listing.finish();
    return kOk;
}

int due(const Context& ctx) {
    const auto format = listingFormat(ctx);
    if (!format) {
        return kUsage;
    }
    auto store = openStore(ctx);
    if (const int status = storeStatus(*store); status != kOk) {
        return status;
    }
    const Instant now = Clock::system().now();
    const Calendar calendar = Clock::system().calendar();
    const Anchors anchors = Preferences::shared().anchors();
    EntryListing listing(*format);
    for (const DaySection& s : store->document().sections) {
        for (const Item& item : s.items) {
            const auto* e = std::get_if<Entry>(&item);
            if (!e || !EntryReminders::isRinging(*e, now, calendar, anchors)) {
                continue;
            }
            const QString label = EntryReminders::reminder(*e, calendar, anchors)->label(now, calendar);
            listing.ringing(*e, s.heading, label);
        }
    }
    listing.finish();
    return kOk;
}

} // namespace plim::cli
