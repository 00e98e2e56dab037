// Writes a synthetic notes file of N entries (one year is about 10 000) to standard output.
#include "SyntheticNotes.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const QByteArray text = plim::bench::syntheticNotes(argc > 1 ? std::atoi(argv[1]) : 10000).toUtf8();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
}
