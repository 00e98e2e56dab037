#include "app/cli/Commands.h"

#include "app/cli/Output.h"
#include "store/NotesStore.h"

#include <QFile>

namespace plim::cli {

namespace {

QString isoLocal(Instant t, const Calendar& calendar) {
    return calendar.formatPosix(t, u"yyyy-MM-dd'T'HH:mm:ssxxx");
}

} // namespace

int add(const Context& ctx) {
    QStringList words = ctx.args;
    std::optional<Reminder> reminder;
    const Instant now = Clock::system().now();
    if (!words.isEmpty() &&
        (words.first() == QLatin1String("--remind") || words.first().startsWith(QLatin1String("--remind=")))) {
        QString phrase;
        if (words.first() == QLatin1String("--remind")) {
            words.removeFirst();
            if (words.isEmpty()) {
                err(QStringLiteral("--remind needs a phrase"));
                return kUsage;
            }
            phrase = words.takeFirst();
        } else {
            phrase = words.takeFirst().mid(9);
        }
        reminder = parsePhrase(phrase, now);
        if (!reminder) {
            return notUnderstood(phrase);
        }
    }
    if (!words.isEmpty() && words.first() == QLatin1String("--")) {
        words.removeFirst();
    }
    QString text;
    if (words.size() == 1 && words.first() == QLatin1String("-")) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) {
            err(QStringLiteral("cannot read standard input"));
            return kUsage;
        }
        text = QString::fromUtf8(in.readAll());
    } else {
        text = words.join(QLatin1Char(' '));
    }
    if (text.trimmed().isEmpty()) {
        err(QStringLiteral("nothing to add"));
        return kUsage;
    }
    auto store = openStore(ctx, false);
    if (const int status = storeStatus(*store); status != kOk) {
        return status;
    }
    const auto id = store->append(text, reminder, now);
    if (const int status = storeStatus(*store); status != kOk) {
        return status;
    }
    if (!id) {
        err(QStringLiteral("nothing to add"));
        return kUsage;
    }
    out(idText(*id) + QLatin1Char('\n'));
    return kOk;
}

int when(const Context& ctx) {
    const QString phrase = ctx.args.join(QLatin1Char(' '));
    if (phrase.trimmed().isEmpty()) {
        err(QStringLiteral("when needs a phrase, e.g. plim when tomorrow 9am"));
        return kUsage;
    }
    const Instant now = Clock::system().now();
    const Calendar calendar = Clock::system().calendar();
    const auto reminder = parsePhrase(phrase, now);
    if (!reminder) {
        return notUnderstood(phrase);
    }
    out(reminder->clauses(calendar) + QLatin1Char('\n'));
    out(isoLocal(reminder->next, calendar) + QLatin1Char('\n'));
    out(QStringLiteral("→ ") + reminder->summary(now, false, calendar) + QLatin1Char('\n'));
    return kOk;
}

} // namespace plim::cli
