#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace plim::test {

inline bool have(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// A process that ends with the test, however the test ends.
struct Process {
    QProcess p;
    ~Process() {
        if (p.state() != QProcess::NotRunning) {
            p.terminate();
            if (!p.waitForFinished(2000)) {
                p.kill();
                p.waitForFinished(2000);
            }
        }
    }
};

// The configuration of a session bus of a test's own, listening in `folder`: nothing the program
// under test says reaches the user's session, and nothing is started on demand.
inline QByteArray sessionBusConfig(const QString& folder) {
    return (QStringLiteral("<busconfig><type>session</type><listen>unix:dir=") + folder +
            QStringLiteral("</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>"))
        .toUtf8();
}

} // namespace plim::test
