#include "base/Calendar.h"

#include "support/TestSupport.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <random>

using namespace plim::test;

namespace {

TEST(Calendar, ReadsIsoDatesStrictly) {
    const Calendar cal(QStringLiteral("Europe/Berlin"));
    EXPECT_EQ(describe(cal, *cal.parseIsoDate(u"2025-03-14")), "2025-03-14 00:00:00 +01:00");
    for (const char16_t* bad : {u"2025-3-14", u"2025-02-30", u"misc", u"2025-03-1x", u""}) {
        EXPECT_FALSE(cal.parseIsoDate(bad)) << QString::fromUtf16(bad).toStdString();
    }
}

TEST(Calendar, UnknownZoneIsInvalidButUsable) {
    const Calendar cal(QStringLiteral("Mars/Olympus"));
    EXPECT_FALSE(cal.isValid());
    EXPECT_EQ(cal.utcOffsetSeconds(instantFromSeconds(0)), 0);
}

// Fields and offsets agree with the C library's for the zone TZ names, around each offset change
// and at random instants between the years given; wall-clock fields read back to their instant;
// the offset at each is the first one plus the changes listed up to it, as many as asked for. Days are added and
// counted on the wall clock as Qt's dates count them, and a time of day is set on the same date.
void agreesWithLibc(const Calendar& cal, int fromYear, int toYear) {
    tzset();
    ASSERT_FALSE(cal.addingDays(*cal.date(2026, 3, 28, 9, 0), std::int64_t{1} << 40));
    std::vector<std::int64_t> seconds;
    const Instant from = *cal.date(fromYear, 1, 1);
    const Instant to = *cal.date(toYear, 1, 1);
    const auto changes = cal.offsetChanges(from, to, 2000);
    ASSERT_EQ(cal.offsetChanges(from, to, 1), changes.first(std::min<qsizetype>(1, changes.size())));
    for (const auto& change : changes) {
        // Those after the start up to and with the end are listed.
        ASSERT_EQ(cal.offsetChanges(change.at - std::chrono::seconds(1), change.at, 10), QList{change});
        ASSERT_TRUE(cal.offsetChanges(change.at, change.at + std::chrono::seconds(1), 10).isEmpty());
        // A wall-clock time the change skips moves on to it; one it repeats takes its first pass.
        const std::chrono::seconds delta(change.deltaSeconds);
        const LocalDateTime f = cal.components(change.at - (delta > 0s ? 1s : 0s));
        const QDateTime wall = QDateTime(QDate(f.year, f.month, f.day), QTime(f.hour, f.minute, f.second), Qt::UTC)
                                   .addSecs(delta > 0s ? 1 + delta.count() / 2 : 0);
        const auto resolved = cal.date(wall.date().year(), wall.date().month(), wall.date().day(), wall.time().hour(),
                                       wall.time().minute(), wall.time().second());
        ASSERT_EQ(resolved, change.at + std::min(delta, 0s)) << describe(cal, change.at);
        for (const std::int64_t d : {-3601, -1, 0, 1, 3600}) {
            seconds.push_back(secondsSinceEpoch(change.at) + d);
        }
    }
    std::mt19937_64 random(11);
    std::uniform_int_distribution<std::int64_t> anywhere(secondsSinceEpoch(from), secondsSinceEpoch(to));
    for (int i = 0; i < 3000; ++i) {
        seconds.push_back(anywhere(random));
    }
    const auto upTo = [&](int most) { return std::uniform_int_distribution<int>(0, most)(random); };
    for (const std::int64_t s : seconds) {
        const time_t when = static_cast<time_t>(s);
        tm libc{};
        ASSERT_TRUE(localtime_r(&when, &libc));
        const LocalDateTime expected{libc.tm_year + 1900, libc.tm_mon + 1, libc.tm_mday,    libc.tm_hour,
                                     libc.tm_min,         libc.tm_sec,     libc.tm_wday + 1};
        const LocalDateTime fields = cal.components(instantFromSeconds(s));
        ASSERT_EQ(fields, expected) << s;
        ASSERT_EQ(cal.utcOffsetSeconds(instantFromSeconds(s)), libc.tm_gmtoff) << s;
        int offset = cal.utcOffsetSeconds(from);
        for (const auto& change : changes) {
            offset += change.at <= instantFromSeconds(s) ? change.deltaSeconds : 0;
        }
        ASSERT_EQ(offset, libc.tm_gmtoff) << s;
        const auto back = cal.date(fields.year, fields.month, fields.day, fields.hour, fields.minute, fields.second);
        ASSERT_TRUE(back);
        ASSERT_EQ(cal.components(*back), fields) << s;
        const int days = upTo(800) - 400;
        const int minutes = upTo(1439);
        const QDate date(fields.year, fields.month, fields.day);
        const QDate moved = date.addDays(days);
        const auto there =
            cal.date(moved.year(), moved.month(), moved.day(), fields.hour, fields.minute, fields.second);
        ASSERT_EQ(cal.addingDays(*back, days), there) << s << " + " << days << " days";
        const LocalDateTime reached = cal.components(*there); // a day later when the time was skipped there
        ASSERT_EQ(cal.daysBetween(*back, *there), date.daysTo(QDate(reached.year, reached.month, reached.day))) << s;
        const int month = upTo(13), day = upTo(32), hour = upTo(24), minute = upTo(60);
        ASSERT_EQ(cal.date(fields.year, month, day, hour, minute).has_value(),
                  QDate::isValid(fields.year, month, day) && hour < 24 && minute < 60);
        ASSERT_EQ(cal.minutesOfDay(*back), fields.hour * 60 + fields.minute);
        ASSERT_EQ(cal.settingTime(*back, minutes),
                  cal.date(fields.year, fields.month, fields.day, minutes / 60, minutes % 60))
            << s << " at " << minutes;
    }
}

// TZ is read as the C library reads it, and the zone then agrees with the C library's to the
// second; a TZ that names no zone is said once and taken as UTC.
TEST(Calendar, SystemCalendarFollowsTZAsTheCLibraryDoes) {
    const QString berlinFile = QStringLiteral("/usr/share/zoneinfo/Europe/Berlin");
    if (!QFileInfo::exists(berlinFile)) {
        GTEST_SKIP() << "no zone database";
    }
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("zone")); // outside the database: read by its rule
    ASSERT_TRUE(QFile::copy(berlinFile, copy));
    const struct {
        QString tz;
        const char* local; // 2026-07-10 22:30 UTC there
        int changes2026;   // offset changes in 2026
        bool warns = false;
        bool asLibc = true; // agrees with the C library from 2010 to 2100
    } cases[] = {
        {u"CET-1CEST,M3.5.0,M10.5.0/3"_s, "2026-07-11 00:30 +02:00", 2},
        {u"<+0530>-5:30"_s, "2026-07-11 04:00 +05:30", 0},
        {u"Asia/Tokyo"_s, "2026-07-11 07:30 +09:00", 0},
        {u":Europe/Berlin"_s, "2026-07-11 00:30 +02:00", 2},
        {u":"_s + copy, "2026-07-11 00:30 +02:00", 2},
        {u"AEST-10AEDT,M10.1.0,M4.1.0/3"_s, "2026-07-11 08:30 +10:00", 2},
        // Without days of change, the US ones (the C library takes them from a file, and shifts them).
        {u"XYZ3ABC"_s, "2026-07-10 20:30 -02:00", 2, false, false},
        {u"GMT+3"_s, "2026-07-10 19:30 -03:00", 0},                           // west, not east
        {u"IST-2IDT,M3.4.4/26,M10.5.0"_s, "2026-07-11 01:30 +03:00", 2},      // 26:00 on a Thursday
        {u"<-02>2<-01>,M3.5.0/-1,M10.5.0/0"_s, "2026-07-10 21:30 -01:00", 2}, // -1:00 on a Sunday
        {u"IST-1GMT0,M10.5.0,M3.5.0/1"_s, "2026-07-10 23:30 +01:00", 2},      // daylight time in winter
        {u"AAA-1BBB,J60/25,J300"_s, "2026-07-11 00:30 +02:00", 2},
        {u""_s, "2026-07-10 22:30 +00:00", 0},
        {u"garbage!"_s, "2026-07-10 22:30 +00:00", 0, true},
        {u"IST"_s, "2026-07-10 22:30 +00:00", 0, true},             // an abbreviation ICU knows, the C library not
        {u"AAA-1BBB,60,300"_s, "2026-07-10 22:30 +00:00", 0, true}, // a day that counts 29 February
    };
    const QByteArray old = qgetenv("TZ");
    const Instant t = instantFromSeconds(1783722600); // 2026-07-10 22:30 UTC
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz.toStdString());
        qputenv("TZ", c.tz.toLocal8Bit());
        testing::internal::CaptureStderr();
        const Calendar cal = Calendar::system();
        Calendar::system();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find(c.tz.toStdString() + "\" is not known") != std::string::npos, c.warns) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.warns ? 1 : 0);
        EXPECT_EQ(cal.formatPosix(t, u"yyyy-MM-dd HH:mm xxx").toStdString(), c.local);
        EXPECT_EQ(cal.offsetChanges(*cal.date(2026, 1, 1), *cal.date(2027, 1, 1), 10).size(), c.changes2026);
        if (!c.asLibc || c.warns) {
            continue;
        }
        agreesWithLibc(cal, 2010, 2100);
    }
    // Named zones against the C library's database: half-hour steps, a skipped day, many changes a year.
    for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata", "Pacific/Apia",
                             "Europe/Dublin", "America/Sao_Paulo", "UTC"}) {
        SCOPED_TRACE(zone);
        qputenv("TZ", zone);
        agreesWithLibc(Calendar(QString::fromUtf8(zone)), 1900, 2030);
    }
    if (old.isNull()) {
        qunsetenv("TZ");
    } else {
        qputenv("TZ", old);
    }
    tzset();
}

} // namespace
