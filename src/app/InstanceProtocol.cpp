#include "app/InstanceProtocol.h"

#include <QtEndian>

namespace plim::InstanceFrame {

namespace {

constexpr QByteArrayView kMagic("PLIM");

} // namespace

QByteArray encode(const InstanceMessage& message) {
    // A token over the limit could not be a real one: the request goes without it.
    const QByteArray token = message.token.size() <= kMaxToken ? message.token : QByteArray();
    QByteArray frame;
    frame.reserve(kHeaderSize + token.size());
    frame.append(kMagic.data(), kMagic.size());
    frame.append(static_cast<char>(kVersion));
    frame.append(static_cast<char>(message.request));
    char length[4];
    qToBigEndian(static_cast<quint32>(token.size()), length);
    frame.append(length, sizeof length);
    frame.append(token);
    return frame;
}

Decoded decode(QByteArrayView bytes) {
    using Status = Decoded::Status;
    const qsizetype magicSeen = std::min(bytes.size(), kMagic.size());
    if (bytes.first(magicSeen) != kMagic.first(magicSeen)) {
        return {Status::Invalid, {}};
    }
    if (bytes.size() > 4 && static_cast<std::uint8_t>(bytes[4]) != kVersion) {
        return {Status::Invalid, {}};
    }
    if (bytes.size() > 5) {
        const auto request = static_cast<std::uint8_t>(bytes[5]);
        if (request < static_cast<std::uint8_t>(Request::Open) || request > static_cast<std::uint8_t>(kLastRequest)) {
            return {Status::Invalid, {}};
        }
    }
    if (bytes.size() < kHeaderSize) {
        return {Status::Incomplete, {}};
    }
    const quint32 length = qFromBigEndian<quint32>(bytes.data() + 6);
    if (length > static_cast<quint32>(kMaxToken)) {
        return {Status::Invalid, {}};
    }
    if (bytes.size() < kHeaderSize + static_cast<qsizetype>(length)) {
        return {Status::Incomplete, {}};
    }
    return {Status::Complete,
            {static_cast<Request>(bytes[5]), bytes.sliced(kHeaderSize, static_cast<qsizetype>(length)).toByteArray()}};
}

} // namespace plim::InstanceFrame
