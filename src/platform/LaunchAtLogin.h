#pragma once

#include <QString>

namespace plim {

// Starting the program when the user logs in.
class LaunchAtLogin {
public:
    virtual ~LaunchAtLogin() = default;
    virtual bool isRegistered() const = 0;
    // Returns whether the registration now matches `on`.
    virtual bool setRegistered(bool on) = 0;
    // Why the last `setRegistered` failed, in the words of the system; empty after a success.
    virtual QString lastError() const { return {}; }
};

} // namespace plim
