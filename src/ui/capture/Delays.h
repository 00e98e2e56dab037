#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace plim {

// A single-shot delay. Starting it again replaces the pending run; destroying it cancels it, so a
// run never outlives the object that owns the delay.
class Delay {
public:
    virtual ~Delay() = default;
    virtual void start(std::chrono::milliseconds after, std::function<void()> run) = 0;
    virtual void stop() = 0;
    virtual bool isPending() const = 0;
};

// Where delays come from: the event loop in the program, a hand-driven clock in tests.
class Delays {
public:
    virtual ~Delays() = default;
    virtual std::unique_ptr<Delay> make() = 0;

    // Delays on the thread's event loop (single-shot timers that exist only while pending).
    static Delays& eventLoop();
};

} // namespace plim
