#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>

namespace plim {

// A link found in a text: where it stands (UTF-16 positions of the text) and where it leads.
struct LinkMatch {
    qsizetype start = 0;
    qsizetype length = 0;
    QUrl url;
    friend bool operator==(const LinkMatch&, const LinkMatch&) = default;
};

// Web addresses typed into entries. What counts as a link:
// - "http://", "https://" and "ftp://" followed by a host, and "mailto:" followed by an address;
// - "www." followed by a host name of at least two more labels ("www.example.org");
// - a bare host name whose last label is a known top-level domain written in one case
//   ("example.com/a?b=1", "EXAMPLE.COM", not "done.It"), opened over http. A top-level domain that
//   is a common English word ("done.it", "go.to", "log.in") makes a link only with a scheme or
//   "www." ("https://done.it", "www.go.to").
// A link ends at white space or at a character no address holds; trailing punctuation of the
// sentence (". , : ; ! ?", quotes, a ")" without its "(") is not part of it. A bare e-mail
// address ("bob@example.com") is no link at all, neither its domain nor a mailto: a note about
// writing to someone is edited on Return, not sent to the mail program. Top-level domains
// that read as file endings ("md", "py", "sh", "zip", ...) are left out of the known list, so
// "plim.md" or "setup.py" stay plain words.
namespace Links {

// Every link in the text, in order.
QList<LinkMatch> matches(QStringView text);
// The link when the whole text, trimmed, is one link on one line; otherwise none.
std::optional<QUrl> soleURL(QStringView text);
// The address of every link in the text, in order.
QList<QUrl> urls(QStringView text);

} // namespace Links

} // namespace plim
