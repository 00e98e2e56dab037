#include "notes/IncrementalParser.h"
#include "notes/NotesDocument.h"

#include <QString>
#include <QStringDecoder>

#include <cstdint>
#include <cstdlib>

namespace {

bool sameContent(const plim::NotesDocument& a, const plim::NotesDocument& b) {
    if (a.preamble != b.preamble || a.byteOrderMark != b.byteOrderMark || a.lineEnd != b.lineEnd ||
        a.sections.size() != b.sections.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.sections.size(); ++i) {
        if (a.sections[i].heading != b.sections[i].heading || a.sections[i].items != b.sections[i].items) {
            return false;
        }
    }
    return true;
}

} // namespace

// Reading any text never fails, and once written in canonical form the text stays as it is.
// Reading it after an earlier text (the input's first part, up to a NUL) gives what reading it
// alone gives.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Decoded as the notes file is read: an initial byte-order mark is kept as U+FEFF.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(QByteArrayView(data, static_cast<qsizetype>(size)));
    const QString once = plim::NotesDocument::parse(text).serialized();
    const QString twice = plim::NotesDocument::parse(once).serialized();
    if (once != twice) {
        std::abort();
    }

    const qsizetype split = text.indexOf(QChar(u'\0'));
    const QString earlier = split < 0 ? once : text.first(split);
    const QString later = split < 0 ? text : text.sliced(split + 1);
    plim::IncrementalParser parser;
    parser.parse(earlier);
    if (!sameContent(parser.parse(later), plim::NotesDocument::parse(later))) {
        std::abort();
    }
    return 0;
}
