#include "store/CaptureSplice.h"

#include "base/KeyedHash.h"

#include <cstring>

namespace plim {

namespace {

// The length QString::toUtf8 gives (a lone surrogate becomes one '?').
qsizetype utf8Length(QStringView s) {
    qsizetype n = 0;
    const char16_t* p = s.utf16();
    const qsizetype size = s.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = p[i];
        if (c < 0x80) {
            n += 1;
        } else if (c < 0x800) {
            n += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(p[i + 1])) {
            n += 4;
            ++i;
        } else {
            n += QChar::isSurrogate(c) ? 1 : 3;
        }
    }
    return n;
}

// Replaces [from, to) by `with` inside the string's own buffer: with room to spare, a capture at the
// top of a large file moves the rest once instead of copying it to a fresh allocation.
template <class String, class View>
void replaceInPlace(String& s, qsizetype from, qsizetype to, View with) {
    using Unit = std::remove_cv_t<std::remove_pointer_t<decltype(with.data())>>;
    static_assert(sizeof(Unit) == sizeof(*s.data()));
    const qsizetype size = s.size();
    const qsizetype grow = with.size() - (to - from);
    if (grow > 0 && s.capacity() < size + grow) {
        s.reserve((size + grow) + (size + grow) / 4);
    }
    if (grow > 0) {
        s.resize(size + grow);
    }
    auto* d = s.data();
    std::memmove(d + to + grow, d + to, static_cast<size_t>(size - to) * sizeof(Unit));
    if (!with.isEmpty()) {
        std::memcpy(d + from, with.data(), static_cast<size_t>(with.size()) * sizeof(Unit));
    }
    if (grow < 0) {
        s.resize(size + grow);
    }
}

} // namespace

bool CaptureSplice::same(const TextRead& read, bool bytesOnly) const {
    if (!text_) {
        return released_ && !read.bytes.isNull() && released_->first == read.bytes.size() &&
               released_->second == keyedHash(read.bytes);
    }
    return textStale_ ? bytes_ == read.bytes : !bytesOnly && *text_ == read.text;
}

void CaptureSplice::read(const TextRead& read, bool bytesOnly) {
    // The bytes rather than the text: half its memory.
    const bool keepBytes = bytesOnly || !read.bytes.isNull();
    text_ = keepBytes ? QString() : read.text;
    textStale_ = keepBytes;
    bytesKnown_ = keepBytes;
    bytes_ = keepBytes ? read.bytes : QByteArray();
}

void CaptureSplice::written(QString text, QByteArray bytes) {
    text_ = std::move(text);
    textStale_ = false;
    bytes_ = std::move(bytes);
    bytesKnown_ = true;
}

void CaptureSplice::writtenBytes(QByteArray bytes) {
    text_ = QString();
    textStale_ = true;
    bytes_ = std::move(bytes);
    bytesKnown_ = true;
}

void CaptureSplice::forget() {
    text_.reset();
    textStale_ = false;
    bytesKnown_ = false;
    released_.reset();
}

void CaptureSplice::release() {
    if (!text_ || !splicing_.empty()) {
        return;
    }
    const QByteArray& all = bytes();
    released_.emplace(all.size(), keyedHash(all));
    text_.reset();
    textStale_ = false;
    bytesKnown_ = false;
    bytes_ = QByteArray();
}

const QString& CaptureSplice::text() {
    if (textStale_) {
        text_ = decodeText(bytes_).value_or(QString());
        textStale_ = false;
    }
    return *text_;
}

QByteArray& CaptureSplice::bytes() {
    if (!bytesKnown_) {
        bytes_ = text_ ? text_->toUtf8() : QByteArray();
        bytesKnown_ = true;
    }
    return bytes_;
}

QString CaptureSplice::textBefore() {
    return !splicing_.empty() ? decodeText(bytesBeforeSplice()).value_or(QString()) : text_ ? text() : QString();
}

bool CaptureSplice::spliceText(const Edits& edits, const Write& write) {
    // The edits are at the top of the file and at its very end: each position becomes a byte
    // offset by measuring the short stretch between it and the nearer end of the text.
    const QString& text = *text_;
    QByteArray& utf8 = bytes();
    const auto byteAt = [&](qsizetype pos) {
        return pos <= text.size() / 2 ? utf8Length(QStringView(text).first(pos))
                                      : utf8.size() - utf8Length(QStringView(text).sliced(pos));
    };
    struct Span {
        qsizetype from;
        qsizetype to;
        QByteArray with;
    };
    QList<Span> spans;
    spans.reserve(edits.size());
    for (const NotesFormat::TextEdit& e : edits) {
        spans.append(Span{byteAt(e.from), byteAt(e.to), e.text.toUtf8()});
    }
    for (auto it = spans.crbegin(); it != spans.crend(); ++it) {
        replaceInPlace(utf8, it->from, it->to, QByteArrayView(it->with));
    }
    if (!write(utf8)) {
        bytesKnown_ = false; // they no longer match the text; encoded again when needed
        return false;
    }
    for (auto it = edits.crbegin(); it != edits.crend(); ++it) {
        replaceInPlace(*text_, it->from, it->to, QStringView(it->text));
    }
    return true;
}

bool CaptureSplice::spliceBytes(const Edits& edits, const Write& write, QByteArray* unsaved) {
    // In place, last edit first (the earlier ones keep their offsets); what each replaced is kept
    // for as long as the write is not in, as the base of what another program may write into the
    // version replaced meanwhile.
    qsizetype shift = 0;
    for (const NotesFormat::TextEdit& e : edits) {
        Cut cut{e.from + shift, e.text.toUtf8(), bytes_.sliced(e.from, e.to - e.from)};
        shift += cut.with.size() - cut.was.size();
        splicing_.push_back(std::move(cut));
    }
    for (qsizetype i = edits.size() - 1; i >= 0; --i) {
        replaceInPlace(bytes_, edits[i].from, edits[i].to, QByteArrayView(splicing_[size_t(i)].with));
    }
    const bool saved = write(bytes_);
    if (!saved) {
        *unsaved = bytes_;
        bytes_ = bytesBeforeSplice();
    }
    splicing_.clear();
    text_ = QString();
    textStale_ = true;
    return saved;
}

QByteArray CaptureSplice::bytesBeforeSplice() const {
    QByteArray bytes = bytes_;
    for (auto it = splicing_.crbegin(); it != splicing_.crend(); ++it) {
        replaceInPlace(bytes, it->at, it->at + it->with.size(), QByteArrayView(it->was));
    }
    return bytes;
}

bool CaptureSplice::replaceTopDay(NotesDocument& doc, QByteArrayView next, const QString& heading) {
    const qsizetype begin = next.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const auto headingAt = [&](qsizetype from) -> qsizetype {
        if (from == begin && next.sliced(begin).startsWith("## ")) {
            return begin;
        }
        const qsizetype hit = next.indexOf("\n## ", from == begin ? begin : from - 1);
        return hit < 0 ? next.size() : hit + 1;
    };
    const qsizetype first = headingAt(begin);
    if (first >= next.size()) {
        return replaceTopDay(doc, decodeText(next.toByteArray()).value_or(QString()), heading); // no day: read it all
    }
    return replaceTopDay(doc, QString::fromUtf8(next.sliced(first, headingAt(first + 1) - first)), heading);
}

bool CaptureSplice::replaceTopDay(NotesDocument& doc, QStringView next, const QString& heading) {
    // A byte-order mark before everything is not part of the first line.
    const qsizetype begin = next.startsWith(QChar(0xFEFF)) ? 1 : 0;
    const auto headingAt = [&](qsizetype from) -> qsizetype {
        if (from == begin && next.sliced(begin).startsWith(u"## ")) {
            return begin;
        }
        const qsizetype hit = next.indexOf(u"\n## ", from == begin ? begin : from - 1);
        return hit < 0 ? next.size() : hit + 1;
    };
    const qsizetype first = headingAt(begin);
    const qsizetype second = first < next.size() ? headingAt(first + 1) : next.size();
    NotesDocument top = NotesDocument::parse(next.sliced(first, second - first));
    if (top.sections.isEmpty()) {
        doc = NotesDocument::parse(next);
        return true;
    }
    if (!doc.sections.isEmpty() && doc.sections.first().heading == heading) {
        doc.sections.first() = std::move(top.sections.first());
    } else {
        doc.sections.prepend(std::move(top.sections.first()));
    }
    return false;
}

} // namespace plim
