#include "app/cli/Commands.h"

#include "app/cli/Output.h"
#include "base/Shortened.h"
#include "reminders/EntryReminders.h"
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

// The prologue and the walk both listings share: the option, the notes file, then every entry in
// file order, and the listing's end.
template <typename Each>
int listEntries(const Context& ctx, Each each) {
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
                each(listing, *e, s.heading);
            }
        }
    }
    listing.finish();
    return kOk;
}

} // namespace

int list(const Context& ctx) {
    return listEntries(
        ctx, [](EntryListing& listing, const Entry& e, const QString& heading) { listing.entry(e, heading); });
}

int due(const Context& ctx) {
    const Instant now = Clock::system().now();
    const Calendar calendar = Clock::system().calendar();
    const Anchors anchors = Preferences::shared().anchors();
    return listEntries(ctx, [&](EntryListing& listing, const Entry& e, const QString& heading) {
        if (EntryReminders::isRinging(e, now, calendar, anchors)) {
            const QString label = EntryReminders::reminder(e, calendar, anchors)->label(now, calendar);
            listing.ringing(e, heading, label);
        }
    });
}

} // namespace plim::cli
