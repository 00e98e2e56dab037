#pragma once

#include "store/TextFile.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace plim {

// plim's own state: $XDG_STATE_HOME/plim, by default ~/.local/state/plim. Created user-only.
QString plimStateFolder();

// The text a notes file last agreed on with the other computers that share it: the common ancestor
// of a conflict copy and the notes. Kept per notes file in the state folder. A text some plim
// process wrote is not agreed until it comes back from elsewhere, so only texts read in that no plim
// process wrote are kept, and none while conflict copies sit beside the file (the sync tool may just
// have put the other computer's text in its place). An ancestor too new would make a merge take an
// entry one side never saw for deleted by it; one too old only keeps more.
class AgreedText {
public:
    explicit AgreedText(const QString& notesPath, const QString& stateFolder = plimStateFolder());

    // A plim process wrote the notes file; `stamp` is its version right after the write.
    void wrote(const FileStamp& stamp);
    // The notes file was read and holds `text` (in its version `stamp`).
    void read(const QString& text, const FileStamp& stamp);
    // The agreed text, when one is kept.
    std::optional<QString> ancestor() const;

    QString ancestorPath() const { return base_ + QStringLiteral(".md"); }

private:
    QString notesPath_;
    QString base_; // the state files of this notes file, without their extension
};

} // namespace plim
