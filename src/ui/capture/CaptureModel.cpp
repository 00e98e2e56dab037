#include "ui/capture/CaptureModel.h"

#include "base/Clock.h"
#include "platform/DesktopServices.h"
#include "store/NotesStore.h"

namespace plim {

namespace {

// A refusal stays up long enough to be read.
constexpr std::chrono::milliseconds kMessageConfirmation{2500};
// How much of a refused clipboard text a hidden drawer shows.
constexpr qsizetype kRefusedShown = 200;

} // namespace

CaptureModel::CaptureModel(NotesStore& store, DesktopServices& desktop, Delays& delays, QObject* parent)
    : QObject(parent)
    , store_(store)
    , preferences_(store.preferences())
    , desktop_(desktop)
    , when_(std::make_unique<WhenFieldModel>(store.preferences(), store.clock()))
    , gestures_(delays)
    , draftDelay_(delays.make())
    , draftDeadline_(delays.make())
    , settleDelay_(delays.make())
    , confirmDelay_(delays.make()) {
    connect(when_.get(), &WhenFieldModel::committed, this,
            [this](const Reminder& reminder) { commit(false, reminder); });
    connect(when_.get(), &WhenFieldModel::cancelled, this, &CaptureModel::closeWhenField);
    connect(&gestures_, &CaptureGestures::peekChanged, this, &CaptureModel::setPeeking);
    connect(&gestures_, &CaptureGestures::presetsChanged, this, &CaptureModel::showPresets);
    text_ = preferences_.draft();
    connect(&preferences_, &Preferences::changed, this, [this] {
        Q_EMIT contentChanged();
        if (isVisible()) {
            Q_EMIT placeRequested(true);
        }
    });
    // Counts and the store's trouble show while the drawer is up.
    connect(&store_, &NotesStore::changed, this, [this] {
        if (presence_ != Presence::Hidden) {
            Q_EMIT contentChanged();
        }
    });
    connect(&store_, &NotesStore::errorChanged, this, &CaptureModel::refresh);
}

CaptureModel::~CaptureModel() = default;

Instant CaptureModel::now() const {
    return store_.clock().now();
}

Calendar CaptureModel::calendar() const {
    return store_.clock().calendar();
}

bool CaptureModel::hasText() const {
    return !text_.trimmed().isEmpty();
}

const QString& CaptureModel::draftText() const {
    return covered_ ? *covered_ : text_;
}

void CaptureModel::refresh() {
    Q_EMIT contentChanged();
}

void CaptureModel::replaceText(const QString& text) {
    text_ = text;
    Q_EMIT textReplaced(text_);
}

// --- What the shell calls ---

void CaptureModel::show() {
    if (isVisible()) {
        // The stored draft may lag the editor by up to a second.
        saveDraft();
    }
    endConfirmation();
    settleDelay_->stop();
    gestures_.endPresets();
    whenOpen_ = false;
    presetsShown_ = false;
    message_.reset();
    replaceText(preferences_.draft());
    if (const auto kept = preferences_.takeKeptDraft()) {
        message_ = Hint{DrawerTexts::draftKept(*kept), Hint::Tone::Error};
    }
    presence_ = Presence::Visible;
    refresh();
    Q_EMIT presented();
}

void CaptureModel::toggle() {
    if (isVisible()) {
        hideNow();
    } else {
        show();
    }
}

void CaptureModel::saveDraft() {
    draftDelay_->stop();
    draftDeadline_->stop();
    const QString& draft = draftText();
    if (preferences_.draft() != draft || !preferences_.contains(PreferenceKey::draft)) {
        preferences_.setValue(PreferenceKey::draft, draft, Preferences::Announce::No);
    }
}

std::optional<QUuid> CaptureModel::takeRecentCapture() {
    const auto recent = std::exchange(recentCapture_, std::nullopt);
    if (recent && now() - recent->at < recentWindow) {
        return recent->id;
    }
    return std::nullopt;
}

void CaptureModel::captureClipboard() {
    const QString text = desktop_.clipboardText().trimmed();
    if (text.isEmpty()) {
        desktop_.beep();
        return;
    }
    // A hidden drawer shows the refused text with the reason, never the user's draft.
    const auto refuse = [this](const Hint& why, const QString& shown) {
        desktop_.beep();
        if (isVisible()) {
            message_ = why;
            refresh();
            Q_EMIT placeRequested(false);
        } else {
            confirmHidden(shown, why);
        }
    };
    if (text.size() > maxCaptureLength) {
        // Its start is enough to know it by, and lays out at once.
        refuse({DrawerTexts::tooLong(u"clipboard not saved", text.size(), maxCaptureLength), Hint::Tone::Error},
               text.left(kRefusedShown) + QChar(0x2026));
        return;
    }
    const Instant at = now();
    const NotesStore::Capture saved = store_.capture(text, std::nullopt, at);
    const auto& id = saved.id;
    if (!id && !saved.waiting) {
        refuse({saved.why, Hint::Tone::Error}, text);
        return;
    }
    recentCapture_ = id ? std::optional<RecentCapture>({*id, at}) : std::nullopt;
    lastCapture_ = LastCapture{text, at};
    if (isVisible()) {
        refresh();
        Q_EMIT placeRequested(true);
        return;
    }
    confirmHidden(text, std::nullopt);
}

void CaptureModel::confirmHidden(const QString& shown, std::optional<Hint> hint) {
    if (presence_ != Presence::Confirming) {
        covered_ = text_;
    }
    presence_ = Presence::Confirming;
    message_ = std::move(hint);
    replaceText(shown);
    refresh();
    Q_EMIT confirming();
    const auto shownFor =
        message_ ? kMessageConfirmation : (reduceMotion_ ? clipboardConfirmationReduced : clipboardConfirmation);
    confirmDelay_->start(shownFor, [this] {
        if (presence_ != Presence::Confirming) {
            return;
        }
        presence_ = Presence::Hidden;
        Q_EMIT dismissed(!reduceMotion_);
        const QString back = *covered_;
        covered_.reset();
        message_.reset();
        replaceText(back);
    });
}

void CaptureModel::endConfirmation() {
    confirmDelay_->stop();
    if (covered_) {
        text_ = *covered_;
        covered_.reset();
    }
}

// --- Texts ---

QString CaptureModel::dateText() const {
    return DrawerTexts::date(calendar(), now());
}

QString CaptureModel::countText() const {
    const EntryCounts& counts = store_.counts();
    return DrawerTexts::count(counts.open(), counts.ringing(now()));
}

QList<CaptureModel::HintItem> CaptureModel::hintItems() const {
    return DrawerTexts::hintItems(whenOpen_, hasText(), undoable());
}

CaptureModel::Hint CaptureModel::hint() const {
    // Why a capture was not let go of comes first.
    if (message_ && message_->tone == Hint::Tone::Error) {
        return *message_;
    }
    if (const auto error = store_.shownError()) {
        return {error->message(), Hint::Tone::Error};
    }
    if (message_) {
        return *message_;
    }
    return {DrawerTexts::hintLine(hintItems()), Hint::Tone::Muted};
}

QList<WhenFieldModel::PeekCell> CaptureModel::peekCells() const {
    return when_->peekCells(presetsAt_);
}

// --- From the window ---

void CaptureModel::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    if (!isVisible()) {
        return;
    }
    message_.reset();
    draftDelay_->start(draftPause, [this] { saveDraft(); });
    if (!draftDeadline_->isPending()) {
        draftDeadline_->start(draftLatest, [this] { saveDraft(); });
    }
    refresh();
}

CaptureModel::EditorEffect CaptureModel::keyPressed(const CaptureKeyPress& press, bool canUndo) {
    using C = CaptureCommand;
    gestures_.keyPressed();
    const CaptureKeyAction action = captureKeyAction(press, canUndo);
    switch (action.command) {
    case C::Pass:
        return EditorEffect::Pass;
    case C::Commit:
        commit(false);
        break;
    case C::CommitKeepOpen:
        commit(true);
        break;
    case C::LineBreak:
        return EditorEffect::LineBreak;
    case C::Cancel:
        cancel();
        break;
    case C::NudgeLeft:
        nudge(DrawerPosition::Left);
        break;
    case C::NudgeCenter:
        nudge(DrawerPosition::Center);
        break;
    case C::NudgeRight:
        nudge(DrawerPosition::Right);
        break;
    case C::When:
        openWhenField();
        break;
    case C::Preset:
        remind(action.preset);
        break;
    case C::SelectAll:
        return EditorEffect::SelectAll;
    case C::Copy:
        return EditorEffect::Copy;
    case C::Cut:
        return EditorEffect::Cut;
    case C::Paste:
        return EditorEffect::Paste;
    case C::CaptureClipboard:
        captureClipboard();
        break;
    case C::OpenManage:
        openManage();
        break;
    case C::OpenKeys:
        openKeys();
        break;
    case C::Undo:
        return EditorEffect::Undo;
    case C::Redo:
        return EditorEffect::Redo;
    case C::UndoCapture:
        undoLastCapture();
        break;
    }
    return EditorEffect::Handled;
}

void CaptureModel::modifiersChanged(Qt::KeyboardModifiers modifiers) {
    gestures_.modifiersChanged(modifiers);
}

void CaptureModel::keyboardLost() {
    if (isVisible()) {
        hideNow();
    }
}

bool CaptureModel::acceptPaste(qsizetype length) {
    if (length <= maxCaptureLength) {
        return true;
    }
    desktop_.beep();
    message_ = Hint{DrawerTexts::tooLong(u"not pasted", length, maxCaptureLength), Hint::Tone::Error};
    refresh();
    return false;
}

void CaptureModel::setReduceMotion(bool reduce) {
    reduceMotion_ = reduce;
}

// --- The drawer's actions ---

void CaptureModel::hideNow() {
    gestures_.endPeek();
    saveDraft();
    settleDelay_->stop();
    presence_ = Presence::Hidden;
    Q_EMIT dismissed(false);
}

void CaptureModel::settle() {
    gestures_.endPeek();
    saveDraft();
    presence_ = Presence::Hidden;
    Q_EMIT dismissed(!reduceMotion_);
}

void CaptureModel::commit(bool keepOpen, const std::optional<Reminder>& reminder) {
    if (!hasText()) {
        if (!keepOpen) {
            hideNow();
        }
        return;
    }
    const Instant at = now();
    const NotesStore::Capture saved = store_.capture(text_, reminder, at);
    const auto& id = saved.id;
    if (!id && !saved.waiting) {
        // Neither in the file nor kept aside (a file that cannot be read is not replaced; a full
        // disk): the text stays, and is the draft.
        desktop_.beep();
        message_ = Hint{saved.why, Hint::Tone::Error};
        saveDraft();
        refresh();
        return;
    }
    lastCapture_ = LastCapture{text_.trimmed(), at};
    recentCapture_ = id ? std::optional<RecentCapture>({*id, at}) : std::nullopt;
    gestures_.endPresets();
    presetsShown_ = false;
    if (whenOpen_) {
        whenOpen_ = false;
        Q_EMIT editorFocusRequested();
    }
    message_.reset();
    replaceText(QString());
    saveDraft();
    if (keepOpen) {
        refresh();
        Q_EMIT placeRequested(true);
        return;
    }
    if (!reminder) {
        settle();
        return;
    }
    message_ = Hint{DrawerTexts::savedWithReminder(reminder->summary(at, false, calendar())), Hint::Tone::Accent};
    refresh();
    Q_EMIT placeRequested(true);
    settleDelay_->start(reminderConfirmation, [this] {
        if (!isVisible()) {
            return;
        }
        if (text_.isEmpty()) {
            settle();
        } else {
            message_.reset();
            refresh();
        }
    });
}

void CaptureModel::cancel() {
    hideNow();
}

void CaptureModel::nudge(DrawerPosition position) {
    // Announced: the drawer re-places itself, animated, and the settings show the new place.
    preferences_.setValue(PreferenceKey::drawerPosition, toRaw(position));
}

void CaptureModel::openWhenField() {
    if (!hasText()) {
        desktop_.beep();
        return;
    }
    gestures_.endPresets();
    presetsShown_ = false;
    when_->reset(QString(), std::nullopt);
    whenOpen_ = true;
    message_.reset();
    refresh();
    Q_EMIT whenFocusRequested();
    Q_EMIT placeRequested(true);
}

void CaptureModel::closeWhenField() {
    if (!whenOpen_) {
        return;
    }
    whenOpen_ = false;
    refresh();
    Q_EMIT editorFocusRequested();
    Q_EMIT placeRequested(true);
}

void CaptureModel::remind(int preset) {
    const QStringList presets = preferences_.reminderPresets();
    std::optional<Reminder> reminder;
    if (hasText() && preset >= 0 && preset < presets.size()) {
        reminder = Reminder::parse(presets[preset], now(), preferences_.anchors(), calendar());
    }
    if (!reminder) {
        desktop_.beep();
        return;
    }
    commit(false, reminder);
}

void CaptureModel::showPresets(bool on) {
    const bool wanted = on && hasText() && !whenOpen_;
    if (wanted == presetsShown_) {
        return;
    }
    presetsShown_ = wanted;
    if (wanted) {
        presetsAt_ = now();
    }
    refresh();
    Q_EMIT placeRequested(true);
}

void CaptureModel::setPeeking(bool on) {
    if (peeking_ == on) {
        return;
    }
    peeking_ = on;
    Q_EMIT peekChanged(on);
}

bool CaptureModel::undoable() const {
    return lastCapture_ && now() - lastCapture_->at < undoWindow && text_.isEmpty();
}

void CaptureModel::undoLastCapture() {
    if (!undoable()) {
        return;
    }
    recentCapture_.reset();
    const LastCapture last = *std::exchange(lastCapture_, std::nullopt);
    if (store_.removeMostRecentCapture(last.text, now())) {
        replaceText(last.text);
        saveDraft();
    }
    refresh();
    Q_EMIT placeRequested(true);
}

void CaptureModel::openManage() {
    hideNow();
    Q_EMIT openManageRequested(takeRecentCapture());
}

void CaptureModel::openKeys() {
    hideNow();
    Q_EMIT keysRequested();
}

} // namespace plim
