#include "app/InstanceProtocol.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace plim;
using Status = InstanceFrame::Decoded::Status;

namespace {

QByteArray frame(const char* magic, int version, int request, quint32 length, const QByteArray& token) {
    QByteArray f(magic);
    f += static_cast<char>(version);
    f += static_cast<char>(request);
    for (int shift = 24; shift >= 0; shift -= 8) {
        f += static_cast<char>((length >> shift) & 0xff);
    }
    return f + token;
}

TEST(InstanceFrame, EveryRequestGoesThereAndBack) {
    for (int r = 1; r <= static_cast<int>(kLastRequest); ++r) {
        const InstanceMessage message{static_cast<Request>(r), r % 2 ? QByteArray("host;1;t") : QByteArray()};
        const QByteArray bytes = InstanceFrame::encode(message);
        const auto decoded = InstanceFrame::decode(bytes);
        EXPECT_EQ(decoded.status, Status::Complete) << r;
        EXPECT_EQ(decoded.message, message) << r;
        // Every cut short of the end waits for more.
        for (qsizetype n = 0; n < bytes.size(); ++n) {
            EXPECT_EQ(InstanceFrame::decode(bytes.first(n)).status, Status::Incomplete) << r << " " << n;
        }
    }
    // A token too long to be real travels as none rather than breaking the frame.
    const QByteArray longToken(InstanceFrame::kMaxToken + 1, 'x');
    EXPECT_EQ(InstanceFrame::decode(InstanceFrame::encode({Request::Clip, longToken})).message,
              (InstanceMessage{Request::Clip, {}}));
}

TEST(InstanceFrame, ReadsWhatArrives) {
    const QByteArray max(InstanceFrame::kMaxToken, 't');
    const std::tuple<const char*, QByteArray, Status> cases[] = {
        {"largest token", frame("PLIM", 1, 3, InstanceFrame::kMaxToken, max), Status::Complete},
        {"bytes after the frame", frame("PLIM", 1, 5, 0, {}) + "more", Status::Complete},
        {"token still coming", frame("PLIM", 1, 3, 5, "abc"), Status::Incomplete},
        {"wrong magic at once", "X", Status::Invalid},
        {"wrong magic", frame("PLIX", 1, 3, 0, {}), Status::Invalid},
        {"newer version", frame("PLIM", 2, 3, 0, {}).first(5), Status::Invalid},
        {"no version", frame("PLIM", 0, 3, 0, {}), Status::Invalid},
        {"request zero", frame("PLIM", 1, 0, 0, {}).first(6), Status::Invalid},
        {"unknown request", frame("PLIM", 1, static_cast<int>(kLastRequest) + 1, 0, {}), Status::Invalid},
        {"request 255", frame("PLIM", 1, 255, 0, {}), Status::Invalid},
        // Refused from the header alone, before any of the token arrives.
        {"oversized", frame("PLIM", 1, 3, InstanceFrame::kMaxToken + 1, {}), Status::Invalid},
        {"length 4 GiB", frame("PLIM", 1, 3, 0xffffffffU, {}), Status::Invalid},
        {"text", "GET / HTTP/1.0\r\n\r\n", Status::Invalid},
    };
    for (const auto& [name, bytes, status] : cases) {
        EXPECT_EQ(InstanceFrame::decode(bytes).status, status) << name;
    }
}

} // namespace
