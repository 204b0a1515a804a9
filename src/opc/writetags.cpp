#include "opc/writetags.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "channels/channel.h"
#include "channels/channellist.h"
#include "channels/channelutils.h"
#include "channels/valueconvert.h"
#include "link/channelcmd.h"
#include "link/corvidlink.h"
#include "link/p2commands.h"
#include "toolkit/opcdefs.h"
#include "util/datetime.h"
#include "util/error.h"
#include "util/log.h"

namespace corvid {

namespace {

// The written value in the channel's type; throws when it does not convert.
Variant ConvertedForChannel(const Variant& written, std::uint16_t type) {
  Variant converted = written;
  ConvertToType(converted, type);
  return converted;
}

// The value text of the debug line; a channel whose attributes give no text (an EU type that is
// no number ...) still has its write sent.
std::string ValuesTextForLog(const TChannel2& channel) {
  try {
    return channel.ValuesText();
  } catch (const std::exception& error) {
    return error.what();
  }
}

}  // namespace

int TOpcWritePath::WriteTags(unsigned count, loTagPair* tags, const Variant* values,
                             std::int32_t* errors, std::int32_t* master_error) {
  if (opc_.Service() == nullptr) {
    WriteLog("ERROR\tWriteTags()\tmy_service==NULL !");
    *master_error = 1;
    return 0;
  }
  if (count == 0) return 0;

  const auto lock = channels_.ScopedLock();
  if (values[0].IsArray()) {
    WriteLog("DEBUG\tWriteTags: count=%u loid[0]=%u values[0] datatype=ARRAY", count,
             static_cast<unsigned>(tags[0].TagId));
  } else {
    WriteLog("DEBUG\tWriteTags: count=%u loid[0]=%u values[0]=%s", count,
             static_cast<unsigned>(tags[0].TagId), ScalarText(values[0]).c_str());
  }

  bool found = false;
  unsigned current = 0;
  try {
    // The written items ordered by tag id, then by position: each channel finds its own among
    // them in a few steps, so a write of many items costs one walk over the handles kept aside
    // by the list (not over every stored channel), not one walk per item.
    std::vector<std::pair<std::uint32_t, unsigned>> written;
    written.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
      if (tags[i].TagId != 0) written.emplace_back(tags[i].TagId, i);
    }
    std::sort(written.begin(), written.end());
    const auto by_id = [](const std::pair<std::uint32_t, unsigned>& item, std::uint32_t id) {
      return item.first < id;
    };
    const std::vector<std::uint32_t>& handles = channels_.OpcHandles();
    for (std::size_t c = 0; c < handles.size() && !written.empty(); ++c) {
      const std::uint32_t handle = handles[c];
      if (handle == 0) continue;
      const TChannel2* stored = nullptr;
      for (auto item = std::lower_bound(written.begin(), written.end(), handle, by_id);
           item != written.end() && item->first == handle; ++item) {
        const unsigned i = item->second;
        if (tags[i].TagId != handle) continue;  // handed on by an earlier channel
        if (stored == nullptr) stored = channels_.ChannelAt(c);
        found = true;
        current = i;
        if (!stored->WriteEnable) {
          // Described again as read-only since its item was published as writable (an item keeps
          // the rights it was published with): no command goes out for it.
          WriteLog("ERROR\tWriteTag[%u]: loid=%u addr=%s: запись в канал запрещена", i,
                   static_cast<unsigned>(handle), stored->Addr.c_str());
          errors[i] = static_cast<std::int32_t>(toolkit::kOpcEBadRights);
          *master_error = 1;
          continue;
        }
        TChannel2 copy(*stored);
        copy.DT = NowLocal();
        copy.SetQuality(0);
        TCorvidCmdParser command;
        try {
          copy.SetValue(ConvertedForChannel(values[i], copy.Type));
          BuildControlCommand(command, copy);
        } catch (const std::exception& error) {
          // The value does not fit the channel (out of range, no number, an array for a channel
          // now described as a scalar ...). Sending the channel's current value instead would
          // report a write that never happened: this item is refused, the others go on.
          WriteLog("ERROR\tWriteTag[%u]: loid=%u addr=%s: %s", i, static_cast<unsigned>(handle),
                   copy.Addr.c_str(), error.what());
          errors[i] = static_cast<std::int32_t>(toolkit::kOpcEBadType);
          *master_error = 1;
          continue;
        }
        WriteLog("DEBUG\tWriteTag[%u]: loid=%u send control addr=%s value=%s", i,
                 static_cast<unsigned>(handle), copy.Addr.c_str(), ValuesTextForLog(copy).c_str());
        std::int32_t length = 0;
        const std::uint8_t* bytes = command.Data(length);
        if (!link_.Send(bytes, length)) {
          throw Exception("ошибка отправки команды управления для addr=" + copy.Addr);
        }
        tags[i].TagId = 0;
      }
    }
  } catch (const std::exception& error) {
    if (found) {
      *master_error = 1;
      errors[current] = 1;
    }
    const std::string message = error.what();
    if (message.empty()) {
      WriteLog("ERROR\tWriteTags !");
    } else {
      WriteLog("ERROR\tWriteTags: %s", message.c_str());
    }
  }

  if (!found) WriteLog("ERROR\tWriteTags: канал не найден");
  return 0;
}

}  // namespace corvid
