#pragma once

#include "ui/settings/RecorderModel.h"

namespace plim {

class GlobalShortcuts;
class KeyboardShortcuts;

// The settings' view of the named global shortcuts: stored through KeyboardShortcuts, held by
// GlobalShortcuts, which stops dispatching while a recorder records.
class SettingsShortcuts final : public ShortcutAccess {
    Q_OBJECT
public:
    SettingsShortcuts(KeyboardShortcuts& shortcuts, GlobalShortcuts& global, QObject* parent = nullptr);

    bool holdsKeys() const override;
    std::optional<QString> text(const QString& name) const override;
    std::optional<QString> problem(const QString& name) const override;
    void set(const QString& name, std::optional<QKeyCombination> combination) override;
    void setRecording(bool recording) override;
    RecorderModel::Checks checks() override;

private:
    KeyboardShortcuts& shortcuts_;
    GlobalShortcuts& global_;
};

} // namespace plim
