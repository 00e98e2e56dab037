#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QRandomGenerator>

#include <cstddef>

namespace plim {

// A hash of some bytes keyed anew in each process: bytes of one length that differ match by chance
// once in 2^64, and no text can be made to match on purpose. Seeded (never 0), Qt hashes long keys
// with the processor's AES steps: faster than comparing two copies.
inline std::size_t keyedHash(QByteArrayView bytes) {
    static const std::size_t seed = static_cast<std::size_t>(QRandomGenerator::system()->generate64() | 1);
    return qHash(bytes, seed);
}

} // namespace plim
