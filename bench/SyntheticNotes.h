#pragma once

#include <QString>

namespace plim::bench {

// A notes file in its written (canonical) form with `entries` entries, the same for the same count:
// a preamble line, then about 27 entries a day under day headings, newest day first on consecutive
// dates ending 2026-03-14. About half are done; some are open, on the shortlist, carried, notes or
// struck; some carry comments or continuation lines; one in ten carries a reminder
// ("remind 2026-03-14 09:00", "... every day 09:00", "... every 3h 08:30-20:30", ...); a few raw
// lines sit between entries. Parsing and writing it back gives the same text.
QString syntheticNotes(int entries);

} // namespace plim::bench
