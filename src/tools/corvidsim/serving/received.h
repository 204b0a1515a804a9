// What the Corvid server simulator receives: the framing of the client's byte stream into
// commands (fixed structures by their size, protocol-2 packets by their length field) and the
// record of one received command, decoded where the simulator knows the command (the protocol-2
// requests 52, 62 and the control 55 by the link's own readers).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "link/corvidbuffer.h"
#include "link/fixedstructs.h"
#include "link/p2commands.h"

namespace corvid::sim {

enum class CommandFamily {
  kFixed,      // a fixed structure, framed by its size
  kProtocol2,  // a protocol-2 packet, framed by its length field
  kUnknown,    // an ID that the framing does not know: every byte received from it on
};

// The type-2 channel request 52.
struct P2ChannelRequest {
  std::uint8_t Selector = 0;
};
// The document request 62.
struct P2DocumentRequest {
  std::string Name;  // UTF-8
};

// The commands of the client that the simulator decodes; the control command 55 as
// P2ChannelValue (its flags and the channel with the reference, time, quality, type and value).
using DecodedCommand =
    std::variant<std::monostate, SRegistrationRequest, SConfigRequestA1, SConfigRequestA2,
                 SConfigRequestA3, SConfigRequestA4, SStateRequest, SLinkTest, P2ChannelRequest,
                 P2DocumentRequest, P2ChannelValue>;

struct ReceivedCommand {
  CommandFamily Family = CommandFamily::kFixed;
  std::uint8_t Id = 0;
  std::vector<std::uint8_t> Bytes;  // the whole command as received
  DecodedCommand Decoded;           // monostate when not decoded
  std::uint32_t Tick = 0;           // the program's tick count when it was framed
  std::uint32_t Connection = 0;     // 1 for the first connection accepted, 2 for the next ...
};

// A command the simulator sends: its ID and all its bytes.
struct OutCommand {
  std::uint8_t Id = 0;
  std::vector<std::uint8_t> Bytes;
};

template <std::size_t N>
OutCommand ToOut(const FixedBytes<N>& bytes) {
  return OutCommand{bytes[0], std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
}

// Takes the next whole command from the front of `buffer`; nothing while it is incomplete. A
// protocol-2 length below 3 takes the 3 header bytes. An unknown ID takes everything stored.
// Decoding failures leave Decoded empty.
std::optional<ReceivedCommand> TakeCommand(TDataStack& buffer);

}  // namespace corvid::sim
