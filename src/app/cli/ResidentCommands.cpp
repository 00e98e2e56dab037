#include "app/cli/Commands.h"

#include "app/Instance.h"
#include "app/cli/Output.h"

namespace plim::cli {

// The resident program is handed the request, and the command returns at once.
int handOverRequest(const Context& ctx, Request request) {
    if (!ctx.file.isEmpty()) {
        err(QStringLiteral("--file is for the commands on the notes file"));
        return kUsage;
    }
    if (!ctx.args.isEmpty()) {
        err(QStringLiteral("%1 takes no arguments").arg(ctx.command));
        return kUsage;
    }
    if (const auto failure = handOver(request)) {
        err(*failure);
        return kFileError;
    }
    return kOk;
}

} // namespace plim::cli
