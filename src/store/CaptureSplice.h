#pragma once

#include "notes/NotesDocument.h"
#include "store/TextFile.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace plim {

// The notes file as last read or written, which a capture is spliced into: the capture's edits go
// into the file's bytes (and, once those are written, its text) in place, without encoding or
// parsing the whole file again. Its text or its bytes may be known alone; the other is made from it
// when asked for.
class CaptureSplice {
public:
    using Edits = QList<NotesFormat::TextEdit>;
    // Writes the file's new bytes; whether they are in the file now.
    using Write = std::function<bool(const QByteArray& bytes)>;

    // Whether the file's text (or its bytes) is known at all, or only recognised (let go of).
    bool isKnown() const { return text_.has_value(); }
    bool isReleased() const { return !text_ && released_.has_value(); }
    // Only its bytes are known, the text not decoded yet (a store that only captures).
    bool bytesOnly() const { return textStale_; }
    // Whether `read` brought what is known already.
    bool same(const TextRead& read, bool bytesOnly) const;
    // What was read: its bytes, the text decoded when asked for (with `bytesOnly` the read has no
    // text). A read without bytes (a missing file) is known by its text.
    void read(const TextRead& read, bool bytesOnly);
    void written(QString text, QByteArray bytes);
    // Written, the text to be decoded when needed.
    void writtenBytes(QByteArray bytes);
    void forget();
    // Lets go of the bytes and the text, keeping what recognises them: while nothing is known, a
    // read of the same bytes is `same` and `read` takes them back.
    void release();

    const QString& text();
    QByteArray& bytes();
    // The text the file held before the splice being written, else the text known: what another
    // program may have written into the version being replaced built on.
    QString textBefore();

    // A capture into the known text: `edits` are in its characters.
    bool spliceText(const Edits& edits, const Write& write);
    // A capture into the bytes alone: `edits` are in bytes. Bytes that could not be written are
    // left in `unsaved`.
    bool spliceBytes(const Edits& edits, const Write& write, QByteArray* unsaved);

    // A capture only touches the top day of the file (`next`, as it is now) under `heading`: the
    // section under the first heading, or a new one above it. Only that day is parsed into `doc`,
    // the rest reading as it did. Returns whether the whole text had to be parsed instead.
    static bool replaceTopDay(NotesDocument& doc, QStringView next, const QString& heading);
    // The same on the bytes: only the top day is decoded.
    static bool replaceTopDay(NotesDocument& doc, QByteArrayView next, const QString& heading);

private:
    QByteArray bytesBeforeSplice() const;

    std::optional<QString> text_;
    QByteArray bytes_;
    bool bytesKnown_ = false;
    // `text_` is not decoded from `bytes_` yet.
    bool textStale_ = false;
    // While a splice into `bytes_` is being written: where each edit is now, its bytes and those it
    // replaced.
    struct Cut {
        qsizetype at;
        QByteArray with;
        QByteArray was;
    };
    std::vector<Cut> splicing_;
    // What was let go of, when it was: its size and a hash of its bytes.
    std::optional<std::pair<qsizetype, std::size_t>> released_;
};

} // namespace plim
