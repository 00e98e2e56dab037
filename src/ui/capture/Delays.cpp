#include "ui/capture/Delays.h"

#include <QTimer>

namespace plim {

namespace {

class TimerDelay final : public Delay {
public:
    TimerDelay() {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // The run may start this delay again: move it out first.
            auto run = std::move(run_);
            run_ = nullptr;
            if (run) {
                run();
            }
        });
    }
    void start(std::chrono::milliseconds after, std::function<void()> run) override {
        run_ = std::move(run);
        timer_.start(after);
    }
    void stop() override {
        timer_.stop();
        run_ = nullptr;
    }
    bool isPending() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> run_;
};

class EventLoopDelays final : public Delays {
public:
    std::unique_ptr<Delay> make() override { return std::make_unique<TimerDelay>(); }
};

} // namespace

Delays& Delays::eventLoop() {
    static EventLoopDelays delays;
    return delays;
}

} // namespace plim
