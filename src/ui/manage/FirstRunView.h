#pragma once

#include <QList>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QHBoxLayout;
class QLabel;
class QPushButton;
QT_END_NAMESPACE

namespace plim {

class ManageModel;
class Theme;

// The first-run card: how reminders should reach the user, then whether plim opens at login.
// Shown while the model asks one of them; its buttons answer it.
class FirstRunView final : public QWidget {
    Q_OBJECT
public:
    FirstRunView(ManageModel& model, Theme& theme, QWidget* parent = nullptr);

    QLabel& question() { return *question_; }
    const QList<QPushButton*>& buttons() const { return buttons_; }
    void applyLook();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    ManageModel& model_;
    Theme& theme_;
    QLabel* question_;
    QHBoxLayout* row_;
    QList<QPushButton*> buttons_;
};

} // namespace plim
