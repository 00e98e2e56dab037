#pragma once

#include "notes/NotesDocument.h"

#include <QString>
#include <QStringView>
#include <QUuid>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plim::cli {

// What the commands print: results on standard output, errors on standard error.
void out(const QString& s);
// Every line of an error starts with "plim: ", so a script's log tells whose it is.
void err(const QString& s);

// An entry's identity as the commands print and take it: upper-case, without braces.
QString idText(const QUuid& id);

// The listings of list and due, one entry at a time: as plain lines, or as the JSON array that
// QJsonDocument writes indented (keys in order, the same escapes), written entry by entry into a
// small buffer, so that a listing of any size holds no more than that buffer of its text.
class EntryListing {
public:
    enum class Format { Text, Json };
    explicit EntryListing(Format format);

    // An entry of list: every field, the day it is under too.
    void entry(const Entry& e, QStringView day);
    // An entry of due: its first line and its reminder's label.
    void ringing(const Entry& e, QStringView day, const QString& label);
    // Ends the JSON array; writes out what is held.
    void finish();

private:
    void json(const Entry& e, QStringView day, const QString* label);
    // Room for n more bytes.
    char* room(std::size_t n);
    void put(std::string_view s);
    void id(const QUuid& id);
    void nullableString(const std::optional<QString>& s);
    void string(QStringView s);
    void flush();

    Format format_;
    std::string buffer_;
    std::size_t used_ = 0;
    bool first_ = true;
};

} // namespace plim::cli
