#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace plim {

// What a `plim` command asks of the resident program. The numbers travel on the socket: never
// renumber; new kinds go at the end and kLastRequest moves with them.
enum class Request : std::uint8_t {
    Open = 1,       // what the tray's "Open plim" does
    Background = 2, // only be running (autostart)
    Capture = 3,    // toggle the capture drawer
    Clip = 4,       // capture the clipboard's text
    Quit = 5,       // end, saving the draft
    Notes = 6,      // toggle the notes window
    Sweep = 7,      // the notes window, sweeping
    Later = 8,      // the notes window's Later list
    Keys = 9,       // the notes window's keys guide
    Settings = 10,  // the settings window
};
inline constexpr Request kLastRequest = Request::Settings;

// One request and the startup-notification token of the client that sent it (empty when it had
// none), which a window shown for the request needs to be allowed to take the focus.
struct InstanceMessage {
    Request request = Request::Open;
    QByteArray token;

    friend bool operator==(const InstanceMessage&, const InstanceMessage&) = default;
};

// One message per connection: "PLIM", a version byte, the request byte, the token's length as
// four bytes big-endian, the token. The server answers with one byte.
namespace InstanceFrame {

inline constexpr std::uint8_t kVersion = 1;
inline constexpr qsizetype kHeaderSize = 10;
inline constexpr qsizetype kMaxToken = 4096;
inline constexpr char kAccepted = '\x06';
inline constexpr char kRefused = '\x15';

QByteArray encode(const InstanceMessage& message);

struct Decoded {
    enum class Status { Incomplete, Complete, Invalid };
    Status status = Status::Incomplete;
    InstanceMessage message; // set when Complete
};
// Reads the bytes received so far. Invalid as soon as they cannot begin a frame of this version
// (wrong magic, other version, unknown request, a token over the limit); bytes after a complete
// frame are ignored.
Decoded decode(QByteArrayView bytes);

} // namespace InstanceFrame

} // namespace plim
