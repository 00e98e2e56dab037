#include "SyntheticNotes.h"

#include <QStringList>

#include <array>
#include <chrono>
#include <cstdint>

namespace plim::bench {

namespace {

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed)
        : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::uint64_t state_;
};

constexpr std::array<const char*, 32> kWords = {
    "call",  "Ann", "plan",    "trip",  "buy",     "milk",  "email", "the",    "bank",   "review",  "draft",
    "notes", "fix", "printer", "book",  "dentist", "pay",   "rent",  "water",  "plants", "read",    "chapter",
    "ask",   "Tom", "about",   "lunch", "order",   "parts", "tidy",  "garage", "renew",  "passport"};

constexpr std::array<const char*, 8> kRepeated = {"buy milk",     "call mum", "stretch", "inbox zero",
                                                  "water plants", "standup",  "walk",    "check mail"};

constexpr std::array<const char*, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

constexpr std::array<const char*, 6> kRaw = {
    "see the red folder", "> from the meeting: keep it short", "https://example.org/agenda", "| a | b |", "---",
    "**later** maybe"};

QString isoDate(std::chrono::sys_days day) {
    const std::chrono::year_month_day ymd{day};
    return QString::asprintf("%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                             static_cast<unsigned>(ymd.day()));
}

QString stamp(int minutes) {
    return QString::asprintf("%02d:%02d", minutes / 60 % 24, minutes % 60);
}

QString phrase(Random& random) {
    if (random.chance(15)) {
        return QString::fromLatin1(kRepeated[static_cast<std::size_t>(random.below(kRepeated.size()))]);
    }
    QString text;
    const int words = 2 + random.below(8);
    for (int w = 0; w < words; ++w) {
        if (w > 0) {
            text += QLatin1Char(' ');
        }
        text += QLatin1String(kWords[static_cast<std::size_t>(random.below(kWords.size()))]);
    }
    return text;
}

QString reminderWords(Random& random, std::chrono::sys_days day) {
    const QString when = QStringLiteral("remind ") + isoDate(day + std::chrono::days(1 + random.below(3))) +
                         QLatin1Char(' ') + stamp(8 * 60 + 15 * random.below(48));
    switch (random.below(5)) {
    case 0:
        return when + QStringLiteral(" every day 09:00");
    case 1:
        return when + QStringLiteral(" every 3h 08:30-20:30");
    case 2:
        return when + QStringLiteral(" every mon thu 18:00 routine");
    default:
        return when;
    }
}

} // namespace

QString syntheticNotes(int entries) {
    Random random(0x706c696dULL + static_cast<std::uint64_t>(entries));
    QString out;
    out.reserve(static_cast<qsizetype>(entries) * 64);
    out += QStringLiteral("# Notes\n\n");

    std::chrono::sys_days day = std::chrono::sys_days{std::chrono::year{2026} / 3 / 14};
    int written = 0;
    bool firstDay = true;
    while (written < entries) {
        if (!firstDay) {
            out += QLatin1Char('\n');
        }
        firstDay = false;
        const std::chrono::weekday weekday{day};
        out += QStringLiteral("## ") + isoDate(day) + QLatin1Char(' ') +
               QLatin1String(kWeekdays[weekday.c_encoding()]) + QStringLiteral("\n\n");

        const int today = std::min(20 + random.below(15), entries - written);
        int minutes = 7 * 60 + random.below(60);
        for (int i = 0; i < today; ++i, ++written) {
            minutes += 5 + random.below(40);
            const int kind = random.below(100);
            const bool done = kind < 50;
            const bool struck = kind >= 95;
            const bool note = kind >= 88 && kind < 95;
            const bool carried = kind >= 80 && kind < 88;

            QString line = QStringLiteral("- ");
            if (done) {
                line += QStringLiteral("[x] ");
            } else if (carried) {
                line += QStringLiteral("[>] ");
            } else if (!note && !struck) {
                line += QStringLiteral("[ ] ");
            }
            if (!done && !struck && random.chance(12)) {
                line += QStringLiteral("! ");
            }
            const QString text = phrase(random);
            line += (done || struck) ? QStringLiteral("~~") + text + QStringLiteral("~~") : text;

            QStringList comment;
            if (!note && !struck) {
                comment << stamp(minutes);
            }
            if (carried) {
                comment << QStringLiteral("carried ") + isoDate(day + std::chrono::days(1));
            } else if (written % 10 == 3) {
                comment << reminderWords(random, day);
            } else if (random.chance(4)) {
                comment << QStringLiteral("from the train");
            }
            if (!comment.isEmpty()) {
                line += QStringLiteral("  <!-- ") + comment.join(QLatin1Char(' ')) + QStringLiteral(" -->");
            }
            out += line;
            out += QLatin1Char('\n');

            if (random.chance(6)) {
                const int more = 1 + random.below(2);
                for (int m = 0; m < more; ++m) {
                    out += QStringLiteral("  ") + phrase(random) + QLatin1Char('\n');
                }
            }
            if (random.chance(3)) {
                out += QLatin1String(kRaw[static_cast<std::size_t>(random.below(kRaw.size()))]);
                out += QLatin1Char('\n');
            }
        }
        day -= std::chrono::days(1);
    }
    return out;
}

} // namespace plim::bench
