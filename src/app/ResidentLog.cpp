#include "app/ResidentLog.h"

#include "store/AgreedText.h"

#include <QDateTime>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plim {

LogFile::LogFile(QString path, qint64 limit)
    : path_(std::move(path))
    , limit_(limit) {}

LogFile::~LogFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool LogFile::open() {
    if (fd_ < 0) {
        fd_ = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    }
    return fd_ >= 0;
}

void LogFile::append(const QString& line) {
    const QByteArray bytes = (QDateTime::currentDateTime().toString(Qt::ISODate) + u' ' + line + u'\n').toUtf8();
    const std::lock_guard<std::mutex> guard(mutex_);
    if (!open()) {
        return;
    }
    struct stat now {};
    if (::fstat(fd_, &now) == 0 && now.st_size > 0 && now.st_size + bytes.size() > limit_) {
        const QByteArray name = QFile::encodeName(path_);
        ::rename(name.constData(), (name + ".1").constData());
        ::close(std::exchange(fd_, -1));
        if (!open()) {
            return;
        }
    }
    [[maybe_unused]] const ssize_t written = ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size()));
}

namespace {

LogFile* residentLog = nullptr;

// The installed log; as it goes, Qt's messages go back to Qt's own handler.
struct Installed {
    LogFile file{residentLogPath()};
    Installed() { residentLog = &file; }
    ~Installed() {
        qInstallMessageHandler(nullptr);
        residentLog = nullptr;
    }
};

void toStream(std::FILE* stream, const QString& line) {
    const QByteArray bytes = (line + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QString line = qFormatLogMessage(type, context, message);
    residentSay(stderr, line);
    if (type == QtFatalMsg) {
        std::abort();
    }
}

} // namespace

QString residentLogPath() {
    return plimStateFolder() + QStringLiteral("/plim.log");
}

void installResidentLog() {
    static Installed installed;
    qInstallMessageHandler(onQtMessage);
}

void residentSay(std::FILE* stream, const QString& line) {
    toStream(stream, line);
    if (residentLog) {
        residentLog->append(line);
    }
}

} // namespace plim
