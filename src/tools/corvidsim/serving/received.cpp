// Framing and decoding of the commands that the simulator receives.
#include "tools/corvidsim/serving/received.h"

#include <algorithm>
#include <span>

#include "link/byteorder.h"
#include "link/channelcmd.h"
#include "util/error.h"

namespace corvid::sim {

namespace {

template <class R>
DecodedCommand DecodeAs(std::span<const std::uint8_t> bytes) {
  return R::Decode(bytes);
}

DecodedCommand Decode(std::uint8_t id, std::span<const std::uint8_t> bytes) {
  try {
    switch (id) {
      case SRegistrationRequest::kId:
        return DecodeAs<SRegistrationRequest>(bytes);
      case SConfigRequestA1::kId:
        return DecodeAs<SConfigRequestA1>(bytes);
      case SConfigRequestA2::kId:
        return DecodeAs<SConfigRequestA2>(bytes);
      case SConfigRequestA3::kId:
        return DecodeAs<SConfigRequestA3>(bytes);
      case SConfigRequestA4::kId:
        return DecodeAs<SConfigRequestA4>(bytes);
      case SStateRequest::kId:
        return DecodeAs<SStateRequest>(bytes);
      case SLinkTest::kId:
        return DecodeAs<SLinkTest>(bytes);
      default:
        break;
    }
  } catch (const Exception&) {
  }
  return std::monostate{};
}

// The protocol-2 commands of the client, read by the link's own readers.
DecodedCommand Decode2(std::uint8_t id, const std::vector<std::uint8_t>& bytes) {
  try {
    TCorvidCmdParser packet;
    packet.Add(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    switch (id) {
      case p2::kChannelRequest:
        return P2ChannelRequest{ReadChannelRequest(packet)};
      case p2::kDocumentRequest:
        return P2DocumentRequest{ReadDocumentRequest(packet)};
      case p2::kControl:
        return ReadControlCommand(packet);
      default:
        break;
    }
  } catch (const Exception&) {
  }
  return std::monostate{};
}

}  // namespace

std::optional<ReceivedCommand> TakeCommand(TDataStack& buffer) {
  std::int32_t count = 0;
  const std::uint8_t* data = buffer.Data(count);
  if (data == nullptr || count <= 0) return std::nullopt;
  ReceivedCommand cmd;
  cmd.Id = data[0];
  std::int32_t size = 0;
  if (IsProtocol2(cmd.Id)) {
    if (count < kPacketHeaderSize) return std::nullopt;
    cmd.Family = CommandFamily::kProtocol2;
    size = std::max<std::int32_t>(wire::GetU16(data + 1), kPacketHeaderSize);
  } else if (StructSize(cmd.Id) > 0) {
    cmd.Family = CommandFamily::kFixed;
    size = StructSize(cmd.Id);
  } else {
    cmd.Family = CommandFamily::kUnknown;
    size = count;
  }
  if (count < size) return std::nullopt;
  cmd.Bytes.assign(data, data + size);
  if (cmd.Family == CommandFamily::kFixed) cmd.Decoded = Decode(cmd.Id, cmd.Bytes);
  if (cmd.Family == CommandFamily::kProtocol2) cmd.Decoded = Decode2(cmd.Id, cmd.Bytes);
  buffer.Skip(size);
  return cmd;
}

}  // namespace corvid::sim
