#pragma once

#include "base/Calendar.h"

#include <QList>
#include <QString>

#include <optional>

namespace plim {

// Captures that could not be written into the notes file yet (another plim process had it, another
// program was writing it, the disk was full), kept on disk until they are: one small file per
// capture, written and synced before the drawer lets the text go, in a folder per notes file under
// $XDG_STATE_HOME/plim/journal (user-only). Whichever plim process next has the notes file to
// itself writes them in, oldest first, and removes each once it is in the file.
class CaptureJournal {
public:
    struct Record {
        QString name; // the record's file name
        QString text; // trimmed
        Instant at;
        QString comment; // the entry's comment content: time stamp, reminder words
    };

    // The journal of a notes file; its folder is only made when a capture is first kept.
    explicit CaptureJournal(const QString& notesPath);

    // Keeps a capture until `remove`. Returns why it could not be kept.
    std::optional<QString> keep(const QString& text, Instant at, const QString& comment);
    // The captures kept, oldest first; a record that cannot be read is passed over (and left).
    QList<Record> records() const;
    // How many are kept.
    int size() const;
    void remove(const Record& record);

    const QString& folder() const { return folder_; }

private:
    QString folder_;
};

} // namespace plim
