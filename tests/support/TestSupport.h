#pragma once

#include "base/Calendar.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ostream>

QT_BEGIN_NAMESPACE
// Readable failure messages for Qt values.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QUuid& u, std::ostream* os) {
    *os << u.toString(QUuid::WithoutBraces).toStdString();
}
QT_END_NAMESPACE

namespace plim {
inline void PrintTo(Instant t, std::ostream* os) {
    *os << t.time_since_epoch().count() << "ms";
}
} // namespace plim

namespace plim::test {

// Tests that use this namespace see the program's names and write Qt strings and durations as literals.
using namespace plim;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

// The default shortcuts' combinations, and another.
constexpr QKeyCombination kCtrlAltSpace(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space);
constexpr QKeyCombination kCtrlAltShiftV(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, Qt::Key_V);
constexpr QKeyCombination kCtrlAltN(Qt::ControlModifier | Qt::AltModifier, Qt::Key_N);

// A wall-clock moment in a zone, e.g. at("Europe/Berlin", 2026, 3, 11, 10, 7, 25).
Instant at(const Calendar& calendar, int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// "2026-03-11 10:07:25 +01:00" style rendering for messages.
std::string describe(const Calendar& calendar, Instant t);

QByteArray readAll(const QString& path);
// Writes `bytes` over what the file held, or after it with `append`.
bool writeAll(const QString& path, const QByteArray& bytes, bool append = false);

// What `f` prints on standard output.
std::string printed(const std::function<void()>& f);

// Turns the event loop until the condition holds; false when it does not within `ms`.
bool waitFor(const std::function<bool()>& condition, int ms = 5000);

} // namespace plim::test
