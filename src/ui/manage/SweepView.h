#pragma once

#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
class QVBoxLayout;
QT_END_NAMESPACE

namespace plim {

class FlowWidget;
class ManageModel;
class Theme;

// The sweep: the current entry alone, its day, how far the sweep has come, and its keys; or the
// words for a finished sweep. The keys themselves go through the window's key monitor.
class SweepView final : public QWidget {
    Q_OBJECT
public:
    SweepView(ManageModel& model, Theme& theme, QWidget* parent = nullptr);

    QLabel& entryText() { return *text_; }
    QLabel& dayText() { return *day_; }
    // The key legend's words, in order; the finished sweep's lines otherwise.
    QStringList shownWords() const;
    // How many of the sweep's entries are decided or skipped, out of how many.
    QPair<int, int> progress() const;

    void applyLook();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    ManageModel& model_;
    Theme& theme_;
    QLabel* day_;
    QLabel* text_;
    FlowWidget* legend_ = nullptr;
    QWidget* finished_;
    QVBoxLayout* finishedLines_;
    QVBoxLayout* column_;
    QStringList words_;
};

} // namespace plim
