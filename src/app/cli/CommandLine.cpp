#include "app/cli/CommandLine.h"

#include "app/cli/Commands.h"
#include "app/cli/Output.h"
#include "base/Shortened.h"

#include <QCoreApplication>
#include <QStringList>

namespace plim {

using namespace cli;

int runCommandLine(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("plim"));
    QCoreApplication::setApplicationName(QStringLiteral("plim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIM_VERSION));

    QStringList args = QCoreApplication::arguments().mid(1);
    Context ctx;
    const Command* command = nullptr;
    bool background = false;
    // Global options come before the command; for commands other than add they may follow it too.
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        const bool takesText = command && command->words == Words::AsTheyAre;
        if (!takesText && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            out(usage());
            return kOk;
        }
        if (!takesText && a == QLatin1String("--version")) {
            out(QStringLiteral("plim %1\n").arg(QStringLiteral(PLIM_VERSION)));
            return kOk;
        }
        if (ctx.command.isEmpty() && a == QLatin1String("--background")) {
            background = true;
            continue;
        }
        if (!takesText && (a == QLatin1String("--file") || a.startsWith(QLatin1String("--file=")))) {
            if (a == QLatin1String("--file")) {
                if (args.isEmpty()) {
                    err(QStringLiteral("--file needs a path"));
                    return kUsage;
                }
                ctx.file = args.takeFirst();
            } else {
                ctx.file = a.mid(7);
            }
            if (ctx.file.isEmpty()) {
                err(QStringLiteral("--file needs a path"));
                return kUsage;
            }
            continue;
        }
        if (ctx.command.isEmpty()) {
            if (a.startsWith(QLatin1Char('-'))) {
                err(QStringLiteral("unknown option '%1' (see plim --help)").arg(shortened(a)));
                return kUsage;
            }
            ctx.command = a;
            command = findCommand(a);
            continue;
        }
        ctx.args.append(a);
        if (takesText) {
            ctx.args.append(args);
            args.clear();
        }
    }

    if (background && !ctx.command.isEmpty()) {
        err(QStringLiteral("--background takes no command"));
        return kUsage;
    }
    if (ctx.command.isEmpty()) {
        return handOverRequest(ctx, background ? Request::Background : Request::Open);
    }
    if (!command) {
        err(QStringLiteral("unknown command '%1' (see plim --help)").arg(shortened(ctx.command)));
        return kUsage;
    }
    return command->handler(ctx);
}

} // namespace plim
