#include "TestSupport.h"

#include <QFile>
#include <QTest>

namespace plim::test {

Instant at(const Calendar& calendar, int year, int month, int day, int hour, int minute, int second) {
    const auto t = calendar.date(year, month, day, hour, minute, second);
    if (!t) {
        ADD_FAILURE() << "no such date " << year << "-" << month << "-" << day;
        return Instant{};
    }
    return *t;
}

std::string describe(const Calendar& calendar, Instant t) {
    return calendar.formatPosix(t, u"yyyy-MM-dd HH:mm:ss xxx").toStdString();
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

bool writeAll(const QString& path, const QByteArray& bytes, bool append) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | (append ? QIODevice::Append : QIODevice::Truncate))) {
        return false;
    }
    return f.write(bytes) == bytes.size();
}

std::string printed(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

bool waitFor(const std::function<bool()>& condition, int ms) {
    return QTest::qWaitFor(condition, ms);
}

} // namespace plim::test
