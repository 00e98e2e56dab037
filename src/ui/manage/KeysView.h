#pragma once

#include "ui/manage/KeysGuide.h"

#include <QScrollArea>

QT_BEGIN_NAMESPACE
class QLabel;
class QVariantAnimation;
QT_END_NAMESPACE

namespace plim {

class ManageModel;
class Theme;

// The keys guide: how plim works, then every key in its groups, in one scrolling column. The
// model's scroll position names the part to show; the view eases it into view.
class KeysView final : public QScrollArea {
    Q_OBJECT
public:
    KeysView(ManageModel& model, Theme& theme, QWidget* parent = nullptr);
    ~KeysView() override;

    // The global shortcuts as the guide names them.
    void setShortcuts(const KeysGuide::Shortcuts& shortcuts);
    // Rebuilds the guide from the current shortcuts, day times, font and colours.
    void rebuild();

    // The headings the scroll position steps through: "How plim works", then each group's title.
    QStringList targetTitles() const;
    // Where the column stands when the scroll position names this target.
    int targetOffset(int index) const;
    // Every text the guide shows, in order.
    QStringList shownTexts() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void scrollToTarget(bool animate);

    ManageModel& model_;
    Theme& theme_;
    KeysGuide::Shortcuts shortcuts_;
    QList<QLabel*> targets_;
    QList<QLabel*> texts_;
    QVariantAnimation* animation_;
};

} // namespace plim
