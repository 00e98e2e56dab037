#include "ui/capture/CaptureModel.h"

#include "base/Clock.h"
#include "base/Shortened.h"
#include "platform/DesktopServices.h"
#include "store/NotesStore.h"
#include "ui/when/KeyNames.h"

#include <QtMath>

#include <algorithm>

namespace plim {

namespace {

// A refusal stays up long enough to be read.
constexpr std::chrono::milliseconds kMessageConfirmation{2500};
// How much of a refused clipboard text a hidden drawer shows.
constexpr qsizetype kRefusedShown = 200;

// Large numbers in groups of three, apart by a narrow space that never breaks: "100 000".
QString groupedNumber(qsizetype n) {
    QString digits = QString::number(n);
    if (n <= 9'999) {
        return digits;
    }
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3) {
        digits.insert(i, QChar(0x202F));
    }
    return digits;
}

QString sizeText(qsizetype characters) {
    if (characters >= 1'000'000) {
        return QString::number(double(characters) / 1e6, 'f', 1) + QStringLiteral(" million characters");
    }
    return groupedNumber(characters) + QStringLiteral(" characters");
}

// `refused` says what did not happen: "clipboard not saved", "not pasted".
QString tooLongText(QStringView refused, qsizetype characters) {
    return refused.toString() + QStringLiteral(" · ") + sizeText(characters) + QStringLiteral(", at most ") +
           groupedNumber(CaptureModel::maxCaptureLength) + QStringLiteral(" fit in one entry");
}

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
    when_->onCommit = [this](const Reminder& reminder) { commit(false, reminder); };
    when_->onCancel = [this] { closeWhenField(); };
    gestures_.onPeek = [this](bool on) { setPeeking(on); };
    gestures_.onShowPresets = [this](bool on) { showPresets(on); };
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
        message_ = Hint{QStringLiteral("draft too long for the drawer · kept whole in ") + shortened(*kept, 60),
                        Hint::Tone::Error};
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
        refuse({tooLongText(u"clipboard not saved", text.size()), Hint::Tone::Error},
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
    return calendar().format(now(), u"EEEE, MMM d");
}

QString CaptureModel::countText() const {
    const EntryCounts& counts = store_.counts();
    QString text = QString::number(counts.open()) + QStringLiteral(" open");
    const int ringing = counts.ringing(now());
    if (ringing > 0) {
        text += QStringLiteral(" · ") + QString::number(ringing) + QStringLiteral(" now");
    }
    return text;
}

QList<CaptureModel::HintItem> CaptureModel::hintItems() const {
    struct Described {
        const char16_t* full;
        const char16_t* brief;
        int keep;
    };
    QList<Described> described;
    if (whenOpen_) {
        described = {{u"↩ save with reminder", u"↩ save", 9},
                     {u"↑↓ presets", u"↑↓ presets", 7},
                     {u"⇥ routine", u"⇥ routine", 6},
                     {u"esc back to the note", u"esc back", 8}};
    } else {
        described = {{u"↩ save", u"↩ save", 9}, {u"⌘↩ keep open", u"⌘↩ keep open", 7}};
        if (hasText()) {
            described.append({u"⌘R remind", u"⌘R remind", 8});
        }
        described.append({{u"⌘⇧V clip", u"⌘⇧V clip", 5},
                          {u"esc keep draft", u"esc draft", 3},
                          {u"⌥ peek", u"⌥ peek", 4},
                          {u"⌘O notes", u"⌘O notes", 6}});
        if (undoable()) {
            described.append({u"⌘Z undo last capture", u"⌘Z undo", 8});
        }
    }
    QList<HintItem> items;
    for (const Described& d : std::as_const(described)) {
        items.append({keyText(d.full), keyText(d.brief), d.keep});
    }
    return items;
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
    QStringList words;
    for (const HintItem& item : hintItems()) {
        words << item.full;
    }
    return {words.join(hintSeparator()), Hint::Tone::Muted};
}

QList<WhenFieldModel::PeekCell> CaptureModel::peekCells() const {
    return when_->peekCells(presetsAt_);
}

// --- Size and place ---

int CaptureModel::widthFor(double drawerTextSize) {
    return qRound(std::max(drawerTextSize * 24, 640.0));
}

int CaptureModel::width() const {
    return widthFor(preferences_.drawerTextSize());
}

int CaptureModel::editorHeight(int width, qreal lineHeight, qreal textHeight) {
    const qreal least = 3 * lineHeight + 2 * textInset;
    const qreal most = std::max(width / 1.618 - 76, least);
    return qCeil(std::min(most, std::max(least, textHeight + 2 * textInset)));
}

QRect CaptureModel::frame(const QRect& available, QSize size, DrawerPosition position) {
    if (!available.isValid()) {
        return {};
    }
    const int w = std::min(size.width(), available.width());
    const int h = std::min(size.height(), available.height());
    int x = available.x() + (available.width() - w) / 2;
    switch (position) {
    case DrawerPosition::Left:
        x = available.x() + sideMargin;
        break;
    case DrawerPosition::Right:
        x = available.x() + available.width() - w - sideMargin;
        break;
    case DrawerPosition::Center:
        break;
    }
    // A screen narrower than the drawer and its margin keeps it whole.
    x = std::clamp(x, available.x(), available.x() + available.width() - w);
    return {x, available.y(), w, h};
}

QRect CaptureModel::frame(const QRect& available, int height) const {
    return frame(available, QSize(width(), height), preferences_.drawerPosition());
}

double CaptureModel::groundAlpha(bool compositing) const {
    return compositing ? preferences_.opacity() : 1.0;
}

double CaptureModel::blurRadius() const {
    return preferences_.blurRadius();
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
    message_ = Hint{tooLongText(u"not pasted", length), Hint::Tone::Error};
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
    message_ = Hint{QStringLiteral("saved · rings ") + reminder->summary(at, false, calendar()), Hint::Tone::Accent};
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
    if (onOpenManage) {
        onOpenManage(takeRecentCapture());
    }
}

void CaptureModel::openKeys() {
    hideNow();
    if (onOpenKeys) {
        onOpenKeys();
    }
}

} // namespace plim
