#include "ui/manage/Links.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

namespace plim {

namespace {

// Common top-level domains that a bare host name may end in. Left out on purpose, so that they
// are links only with a scheme or "www.":
// - those that are also everyday file endings (md, py, sh, rs, pl, cc, mk, zip, mov, ps), so a
//   file name in a note stays a word;
// - those that are common English words (at, be, by, id, in, is, it, me, my, no, to, us; art,
//   blog, cat, club, cloud, coop, design, email, jobs, link, live, media, museum, news, online,
//   page, pro, shop, site, social, space, store, studio, tech, travel, website, wiki), and never
//   listed the likes of "now", "new", "win", "fun": two words joined by a full stop
//   typed without its space ("done.it", "go.to", "log.in") or by a code habit ("user.id") are
//   far more common in a note than such an address. "net" stays: as an address it is everywhere.
constexpr std::string_view kTopLevelDomains[] = {
    "ae",   "aero", "ai",   "app", "ar", "au", "bg", "biz", "br", "ca", "ch", "cl",  "cn", "co", "com", "cz",  "de",
    "dev",  "dk",   "edu",  "ee",  "eg", "es", "eu", "fi",  "fm", "fr", "gg", "gov", "gr", "hk", "hr",  "hu",  "ie",
    "il",   "im",   "info", "int", "io", "ir", "jp", "ke",  "kr", "la", "li", "lt",  "lu", "lv", "ly",  "ma",  "mil",
    "mobi", "mx",   "net",  "ng",  "nl", "nu", "nz", "org", "pe", "ph", "pk", "pt",  "ro", "ru", "sa",  "se",  "sg",
    "si",   "sk",   "su",   "th",  "tk", "tr", "tv", "tw",  "ua", "uk", "uy", "uz",  "ve", "vn", "ws",  "xyz", "za",
};
static_assert(std::is_sorted(std::begin(kTopLevelDomains), std::end(kTopLevelDomains)));

// The last label in one case: "Example.com" and "EXAMPLE.COM" are addresses, while "done.It" is
// a sentence missing its space.
bool isKnownTopLevelDomain(QStringView label) {
    if (label.size() < 2 || label.size() > 8 || (label.toString().isLower() == label.toString().isUpper())) {
        return false;
    }
    std::array<char, 8> lower{};
    for (qsizetype i = 0; i < label.size(); ++i) {
        const char16_t c = label[i].unicode();
        if (c >= u'A' && c <= u'Z') {
            lower[static_cast<std::size_t>(i)] = static_cast<char>(c - u'A' + u'a');
        } else if (c >= u'a' && c <= u'z') {
            lower[static_cast<std::size_t>(i)] = static_cast<char>(c);
        } else {
            return false;
        }
    }
    const std::string_view word(lower.data(), static_cast<std::size_t>(label.size()));
    return std::binary_search(std::begin(kTopLevelDomains), std::end(kTopLevelDomains), word);
}

// --- Characters, by code point (an emoji is two UTF-16 units) ---

struct CodePoint {
    char32_t value = 0;
    qsizetype size = 0; // UTF-16 units; 0 past either end
};

CodePoint at(QStringView text, qsizetype i) {
    if (i < 0 || i >= text.size()) {
        return {};
    }
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        return {QChar::surrogateToUcs4(c, text[i + 1]), 2};
    }
    return {c.unicode(), 1};
}

CodePoint before(QStringView text, qsizetype i) {
    if (i <= 0 || i > text.size()) {
        return {};
    }
    const QChar c = text[i - 1];
    if (c.isLowSurrogate() && i >= 2 && text[i - 2].isHighSurrogate()) {
        return {QChar::surrogateToUcs4(text[i - 2], c), 2};
    }
    return {c.unicode(), 1};
}

bool isAsciiAlnum(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
}

bool isWordLike(char32_t c) {
    return c >= 0x80 && (QChar::isLetterOrNumber(c) || QChar::isMark(c));
}

// A character of a host name label; internationalised names are written in their own script.
bool isLabelChar(char32_t c, bool underscore) {
    return isAsciiAlnum(c) || c == U'-' || (underscore && c == U'_') || isWordLike(c);
}

// A character of a path, query or fragment.
bool isUrlChar(char32_t c) {
    if (c > 0x20 && c < 0x7F) {
        return std::u32string_view(U"<>\"{}|\\^`").find(c) == std::u32string_view::npos;
    }
    return isWordLike(c);
}

bool isDigit(char32_t c) {
    return c >= U'0' && c <= U'9';
}

bool startsWithNoCase(QStringView text, qsizetype i, QStringView prefix) {
    return text.size() - i >= prefix.size() && text.mid(i, prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

// --- Pieces of an address ---

struct Host {
    qsizetype end = 0;
    QList<QStringView> labels;
};

// Dot-separated labels from `i`; a dot is taken only when a label follows it.
Host readHost(QStringView text, qsizetype i, bool underscore) {
    Host host{i, {}};
    qsizetype p = i;
    while (true) {
        const qsizetype labelStart = p;
        for (CodePoint c = at(text, p); c.size > 0 && isLabelChar(c.value, underscore); c = at(text, p)) {
            p += c.size;
        }
        if (p == labelStart) {
            break;
        }
        host.labels.append(text.mid(labelStart, p - labelStart));
        host.end = p;
        if (at(text, p).value != U'.' || !isLabelChar(at(text, p + 1).value, underscore)) {
            break;
        }
        ++p;
    }
    return host;
}

bool labelsWellFormed(const Host& host) {
    return std::all_of(host.labels.begin(), host.labels.end(),
                       [](QStringView label) { return !label.startsWith(u'-') && !label.endsWith(u'-'); });
}

// ":8080" after a host; returns the position after it, or `i` when there is none.
qsizetype readPort(QStringView text, qsizetype i) {
    if (at(text, i).value != U':') {
        return i;
    }
    qsizetype p = i + 1;
    while (p < text.size() && p - i <= 5 && isDigit(at(text, p).value)) {
        ++p;
    }
    return p > i + 1 ? p : i;
}

// A path, query or fragment after the host, with the sentence's punctuation left outside.
qsizetype readTail(QStringView text, qsizetype i) {
    const char32_t first = at(text, i).value;
    if (first != U'/' && first != U'?' && first != U'#') {
        return i;
    }
    qsizetype end = i;
    for (CodePoint c = at(text, end); c.size > 0 && isUrlChar(c.value); c = at(text, end)) {
        end += c.size;
    }
    // Drop trailing punctuation; a closing bracket stays when it closes one opened inside.
    const QStringView tail = text.mid(i, end - i);
    qsizetype parens = tail.count(u'(') - tail.count(u')');
    qsizetype brackets = tail.count(u'[') - tail.count(u']');
    while (end > i) {
        const QChar last = text[end - 1];
        if (last == u')' && parens < 0) {
            ++parens;
        } else if (last == u']' && brackets < 0) {
            ++brackets;
        } else if (!QStringView(u".,:;!?'*").contains(last)) {
            break;
        }
        --end;
    }
    return end;
}

// Where a host name may begin without a scheme: not inside a word, an address or a path.
bool bareBoundary(QStringView text, qsizetype i) {
    const CodePoint prev = before(text, i);
    if (prev.size == 0) {
        return true;
    }
    if (isAsciiAlnum(prev.value) || isWordLike(prev.value)) {
        return false;
    }
    return std::u32string_view(U".@-_/\\:%+=&#~$").find(prev.value) == std::u32string_view::npos;
}

bool schemeBoundary(QStringView text, qsizetype i) {
    const CodePoint prev = before(text, i);
    return prev.size == 0 ||
           !(isAsciiAlnum(prev.value) || prev.value == U'+' || prev.value == U'-' || prev.value == U'.');
}

std::optional<LinkMatch> make(QStringView text, qsizetype start, qsizetype end, const QString& prefix = {}) {
    const QUrl url(prefix + text.mid(start, end - start).toString(), QUrl::TolerantMode);
    if (!url.isValid() || (url.scheme() != u"mailto" && url.host().isEmpty())) {
        return std::nullopt;
    }
    return LinkMatch{start, end - start, url};
}

// "https://host:port/path", "ftp://host".
std::optional<LinkMatch> schemeLink(QStringView text, qsizetype i) {
    static constexpr std::array<QStringView, 3> schemes = {u"https://", u"http://", u"ftp://"};
    const auto scheme =
        std::find_if(schemes.begin(), schemes.end(), [&](QStringView s) { return startsWithNoCase(text, i, s); });
    if (scheme == schemes.end() || !schemeBoundary(text, i)) {
        return std::nullopt;
    }
    qsizetype p = i + scheme->size();
    // user:password@ before the host
    qsizetype authorityEnd = p;
    for (CodePoint c = at(text, authorityEnd);
         c.size > 0 && isUrlChar(c.value) && c.value != U'/' && c.value != U'?' && c.value != U'#';
         c = at(text, authorityEnd)) {
        authorityEnd += c.size;
    }
    const qsizetype userEnd = text.mid(p, authorityEnd - p).lastIndexOf(u'@');
    if (userEnd >= 0) {
        p += userEnd + 1;
    }
    qsizetype end = 0;
    if (at(text, p).value == U'[') { // [IPv6]
        const qsizetype close = text.mid(p, authorityEnd - p).indexOf(u']');
        if (close < 0) {
            return std::nullopt;
        }
        end = p + close + 1;
    } else {
        const Host host = readHost(text, p, true);
        if (host.labels.isEmpty()) {
            return std::nullopt;
        }
        end = host.end;
    }
    end = readTail(text, readPort(text, end));
    return make(text, i, end);
}

// "mailto:bob@example.com?subject=hi".
std::optional<LinkMatch> mailtoLink(QStringView text, qsizetype i) {
    if (!startsWithNoCase(text, i, u"mailto:") || !schemeBoundary(text, i)) {
        return std::nullopt;
    }
    static constexpr std::u32string_view localChars = U".!#$%&'*+/=?^_`{|}~-";
    qsizetype p = i + 7;
    const qsizetype localStart = p;
    for (char32_t c = at(text, p).value; isAsciiAlnum(c) || localChars.find(c) != std::u32string_view::npos;
         c = at(text, p).value) {
        ++p;
    }
    if (p == localStart || at(text, p).value != U'@') {
        return std::nullopt;
    }
    const Host host = readHost(text, p + 1, false);
    if (host.labels.isEmpty() || !labelsWellFormed(host)) {
        return std::nullopt;
    }
    qsizetype end = host.end;
    if (at(text, end).value == U'?') {
        end = readTail(text, end);
    }
    return make(text, i, end);
}

// "www.example.org/…" and "example.com/…", opened over http.
std::optional<LinkMatch> bareLink(QStringView text, qsizetype i) {
    if (!isLabelChar(at(text, i).value, false) || !bareBoundary(text, i)) {
        return std::nullopt;
    }
    const Host host = readHost(text, i, false);
    if (host.labels.size() < 2 || !labelsWellFormed(host)) {
        return std::nullopt;
    }
    const bool www = host.labels.front().compare(u"www", Qt::CaseInsensitive) == 0;
    const QStringView last = host.labels.back();
    const bool known = www ? host.labels.size() >= 3 && last.size() >= 2 &&
                                 std::all_of(last.begin(), last.end(), [](QChar c) { return c.isLetter(); })
                           : isKnownTopLevelDomain(last);
    if (!known) {
        return std::nullopt;
    }
    // "bob@example.com" and "example.com@…" are addresses, "example.com_x" a word.
    const char32_t next = at(text, host.end).value;
    if (next == U'@' || next == U'_') {
        return std::nullopt;
    }
    const qsizetype end = readTail(text, readPort(text, host.end));
    return make(text, i, end, QStringLiteral("http://"));
}

} // namespace

namespace Links {

QList<LinkMatch> matches(QStringView text) {
    QList<LinkMatch> found;
    qsizetype i = 0;
    while (i < text.size()) {
        std::optional<LinkMatch> link = schemeLink(text, i);
        if (!link) {
            link = mailtoLink(text, i);
        }
        if (!link) {
            link = bareLink(text, i);
        }
        if (link) {
            i = link->start + link->length;
            found.append(std::move(*link));
            continue;
        }
        i += at(text, i).size;
    }
    return found;
}

std::optional<QUrl> soleURL(QStringView text) {
    const QStringView trimmed = text.trimmed();
    const bool lineBreak = std::any_of(trimmed.begin(), trimmed.end(), [](QChar c) {
        return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    });
    if (trimmed.isEmpty() || lineBreak) {
        return std::nullopt;
    }
    const QList<LinkMatch> found = matches(trimmed);
    if (found.size() != 1 || found.front().start != 0 || found.front().length != trimmed.size()) {
        return std::nullopt;
    }
    return found.front().url;
}

QList<QUrl> urls(QStringView text) {
    QList<QUrl> result;
    for (const LinkMatch& link : matches(text)) {
        result.append(link.url);
    }
    return result;
}

} // namespace Links

} // namespace plim
