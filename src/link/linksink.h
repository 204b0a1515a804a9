// TLinkSink: what the Corvid link hands upwards. The receive loop and the session report what they
// received (type-1 configuration records and states) and what happened to the link (the session
// ended); the OPC bridge implements this interface, so the link never knows the OPC items. Tests
// drive the link with a recording sink.
//
// All calls come from the server thread.
#pragma once

#include <cstdint>

#include "channels/channel.h"
#include "link/fixedstructs.h"
#include "platform/clock.h"

namespace corvid {

class TLinkSink {
 public:
  virtual ~TLinkSink() = default;

  // ---- type-1 channels ----
  // Type-1 channels held (entries of the type-1 tag table). The session downloads the type-1
  // configuration only while this is 0.
  virtual std::int32_t Type1Count() = 0;
  // Command 34: one type-1 channel of the configuration download. False when it was refused.
  virtual bool OnType1Config(const SConfigA4& record) = 0;
  // The type-1 download has finished: create the OPC item of every type-1 channel held, in
  // order. Returns how many items were created.
  virtual std::int32_t OnType1ConfigComplete() = 0;
  // Command 20: the state of a type-1 channel.
  virtual bool OnType1State(const SStateRecord& record) = 0;

  // ---- type-2 channels ----
  // A channel description arrived or a channel became active: give it an OPC item when it is
  // active (its item handle is written into `channel`) and, when it has one, push its value.
  // True when the channel has an item. A sink without type-2 items keeps none.
  virtual bool OnPublish2(TChannel2& channel) {
    (void)channel;
    return false;
  }
  // The value, quality, time or activity of a channel that has an item changed. True when the
  // cache took it.
  virtual bool OnPush2(const TChannel2& channel) {
    (void)channel;
    return false;
  }

  // ---- the link ----
  // A session has ended: every item gets `quality` (bad: last known value) stamped `server_now`
  // (UTC, on the server's clock).
  virtual void OnDisconnected(std::uint32_t quality, platform::FileTime server_now) = 0;
  // OPC items that clients hold active (for the session's log line).
  virtual std::int32_t ActiveTagCount() = 0;
};

// The quality that a disconnection gives every item: bad, last known value.
inline constexpr std::uint32_t kQualityLastKnown = 0x14;

}  // namespace corvid
