#pragma once

#include "store/TextFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace plim {

// plim's own state: $XDG_STATE_HOME/plim, by default ~/.local/state/plim. Created user-only.
QString plimStateFolder();

// The text a notes file last agreed on with the other computers that share it: the common ancestor
// of a conflict copy and the notes. Kept per notes file in the state folder. A text some plim
// process of this user wrote is not agreed until it comes back from elsewhere, so only texts read in
// that no plim process wrote are kept, and none while conflict copies sit beside the file (the sync
// tool may just have put the other computer's text in its place). An ancestor too new would make a
// merge take an entry one side never saw for deleted by it; one too old only keeps more.
class AgreedText {
public:
    explicit AgreedText(const QString& notesPath, const QString& stateFolder = plimStateFolder());

    // Own writes, as every plim process of the user knows them. Called under the notes file's lock:
    // `writing` before the bytes replace the notes file (a reader that sees them at once finds them
    // already), `wrote` with the version they became.
    // `writing` takes the bytes' `keyOf`, which reads them all: a writer works it out on another
    // thread while its temporary is synced.
    static QByteArray keyOf(QByteArrayView bytes);
    void writing(const QByteArray& key);
    void wrote(const FileStamp& stamp);

    // The notes file was read and holds the text whose UTF-8 `bytesOfText` gives (in its version
    // `stamp`; asked only when the stamp is not known): kept as the agreed text unless some plim
    // process wrote it (by its stamp or its bytes).
    void read(const std::function<QByteArray()>& bytesOfText, const FileStamp& stamp);
    // The agreed text, when one is kept.
    std::optional<QString> ancestor() const;
    // When the version the agreed text copies was written (its modification time, nanoseconds
    // since the epoch).
    std::optional<qint64> ancestorWrittenNs() const;

    QString ancestorPath() const { return base_ + QStringLiteral(".md"); }
    QString ledgerPath() const { return base_ + QStringLiteral(".own"); }

    // Removes what the agreed folder keeps for notes files that no longer exist or were not used
    // for `unusedDays`, and temporaries a killed writer left there an hour ago or more. Returns how
    // many files went.
    static int prune(const QString& stateFolder, const QDateTime& now, int unusedDays = 90);

private:
    QString notesPath_;
    QString base_; // the state files of this notes file, without their extension
};

} // namespace plim
