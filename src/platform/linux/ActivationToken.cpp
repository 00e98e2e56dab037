#include "platform/linux/ActivationToken.h"

#include <QGuiApplication>

namespace plim {

namespace {

constexpr const char* kVariable = "XDG_ACTIVATION_TOKEN";

} // namespace

ActivationTokenScope::ActivationTokenScope(const QByteArray& token) {
    if (token.isEmpty() || !QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return;
    }
    lent_ = qputenv(kVariable, token);
}

ActivationTokenScope::~ActivationTokenScope() {
    if (lent_) {
        qunsetenv(kVariable);
    }
}

} // namespace plim
