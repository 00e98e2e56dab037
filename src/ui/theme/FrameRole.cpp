#include "ui/theme/FrameRole.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace plim {

namespace {

QAccessibleInterface* frameOf(const QString& key, QObject* object) {
    // Asked with the most derived class first: only the program's own top-level windows.
    if (object == nullptr || !object->isWidgetType() || !key.startsWith(QLatin1String("plim::"))) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    return widget->isWindow() ? new QAccessibleWidget(widget, QAccessible::Window) : nullptr;
}

} // namespace

void announceWindowsAsFrames() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(&frameOf);
    }
}

} // namespace plim
