// TOpcWritePath: the toolkit's write callback. A written item of a type-2 channel becomes a
// control command 55 queued for the Corvid server; neither the stored channel nor the item
// changes until the server answers with a value change of the channel.
//
// Runs on the toolkit's threads. It holds the channel list's lock for the whole call and takes
// no cache lock, so it keeps the lock order of the type-2 items.
#pragma once

#include <cstdint>

#include "channels/variant.h"
#include "opc/opcservice.h"
#include "toolkit/toolkit.h"

namespace corvid {

class TChannelList2;
class TCorvidLink;

class TOpcWritePath {
 public:
  TOpcWritePath(OpcService& opc, TChannelList2& channels, TCorvidLink& link)
      : opc_(opc), channels_(channels), link_(link) {}
  TOpcWritePath(const TOpcWritePath&) = delete;
  TOpcWritePath& operator=(const TOpcWritePath&) = delete;

  // One command 55 per written item whose tag id is the item of a stored channel, in the order
  // of the channel list; each handed-on item gets tag id 0. The command carries the written
  // value converted to the channel's type, the local time and quality 0 (good), and names the
  // channel by its number when the server knows it, else by its address.
  // A value that cannot be made into the channel's command for any reason (it does not convert
  // to the channel's type, an array for a channel described again as a scalar ...) is refused
  // for that item alone (OPC_E_BADTYPE) instead of sending the channel's current value; the
  // other items are sent. A command that cannot be queued (the link is down) fails that item and
  // the whole call, and the items after it are not handled. Always returns 0.
  int WriteTags(unsigned count, loTagPair* tags, const Variant* values, std::int32_t* errors,
                std::int32_t* master_error);

 private:
  OpcService& opc_;
  TChannelList2& channels_;
  TCorvidLink& link_;
};

}  // namespace corvid
