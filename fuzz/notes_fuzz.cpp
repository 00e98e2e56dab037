#include "notes/NotesDocument.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

// Reading any text never fails, and once written in canonical form the text stays as it is.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString once = plim::NotesDocument::parse(text).serialized();
    const QString twice = plim::NotesDocument::parse(once).serialized();
    if (once != twice) {
        std::abort();
    }
    return 0;
}
