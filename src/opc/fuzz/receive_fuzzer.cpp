// libFuzzer target of the Corvid link's receive path: arbitrary bytes arrive in the receive buffer
// in chunks, as socket reads would deliver them, and DispatchReceived hands every complete command
// to the fixed-structure dispatch or the protocol-2 handler, against a loaded type-2 model (stored
// channels, attribute descriptions, a sink that converts every published value as the OPC items
// would).
//
// Input: byte 0 is the chunk size (0: everything at once), the rest is the stream from the server.
//
// Checked besides what the sanitizers see:
// - every command that the loop starts shrinks the receive buffer (a command that consumes nothing
//   would make the loop spin for ever; caught at once through the clock, which the loop reads once
//   per command);
// - after each dispatch exactly the whole commands that the stream holds so far are consumed, by
//   the framing rules (a protocol-2 packet by its length field, at least its 3 header bytes; a
//   fixed structure by its size), and the result tells whether any was handled; an unknown
//   command empties the buffer (the link disconnects);
// - the channel list and its indexes stay consistent.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "channels/attributesdesc.h"
#include "channels/channellist.h"
#include "channels/stringlist.h"
#include "link/byteorder.h"
#include "link/corvidlink.h"
#include "opc/fuzz/fuzzmodel.h"
#include "link/linksink.h"
#include "link/p2commands.h"
#include "opc/type2tags.h"
#include "platform/clock.h"
#include "platform/temp_folder_for_tests.h"
#include "util/log.h"

namespace corvid::fuzz {
namespace {

[[noreturn]] __attribute__((format(printf, 1, 2))) void Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("receive_fuzzer: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::abort();
}

// 15.01.2024 10:30 UTC as a FILETIME.
constexpr platform::FileTime kStartUtc = 133497882000000000ULL;

// The fake clock of the run, which also watches the receive loop: the loop reads the tick once
// at the start of every command, and the incomplete watch once more before the loop ends. So the
// stored count must fall from one reading to the next; the same count a third time in a row means
// a command was dispatched without consuming anything.
class ProgressClock final : public platform::FakeClock {
 public:
  ProgressClock() : FakeClock(1000, kStartUtc, 0) {}

  void Watch(const TDataStack* buffer) {
    buffer_ = buffer;
    last_ = -1;
    repeats_ = 0;
  }
  std::uint32_t TickCount() override {
    if (buffer_ != nullptr) {
      const std::int32_t count = buffer_->Count();
      if (count == last_) {
        if (++repeats_ >= 2) Fail("a command was dispatched without consuming (%d bytes)", count);
      } else {
        if (last_ >= 0 && count > last_) Fail("the receive buffer grew during the dispatch");
        repeats_ = 0;
      }
      last_ = count;
    }
    return FakeClock::TickCount();
  }

 private:
  const TDataStack* buffer_ = nullptr;
  std::int32_t last_ = -1;
  int repeats_ = 0;
};

// Gives active channels item handles and converts every channel that reaches it as the OPC items
// do (the value conversion and the texts of the log lines), without a toolkit service.
class ConvertingSink final : public TLinkSink {
 public:
  std::int32_t Type1Count() override { return 0; }
  bool OnType1Config(const SConfigA4& record) override { return !record.Name.empty(); }
  std::int32_t OnType1ConfigComplete() override { return 0; }
  bool OnType1State(const SStateRecord& record) override { return record.Id != 0; }
  void OnDisconnected(std::uint32_t, platform::FileTime) override {}
  std::int32_t ActiveTagCount() override { return 0; }

  bool OnPublish2(TChannel2& channel) override {
    Convert(channel);
    if (!channel.Active) return false;
    if (channel.OpcHandle == 0) channel.OpcHandle = next_handle_++;
    return true;
  }
  bool OnPush2(const TChannel2& channel) override {
    Convert(channel);
    return channel.OpcHandle != 0;
  }

 private:
  static void Convert(const TChannel2& channel) {
    (void)opcValueToVARIANT2(channel);
    (void)channel.ValuesText();
    (void)channel.FullComments();
    (void)channel.TypeText();
  }

  std::uint32_t next_handle_ = 1;
};

void LoadDescriptions(TAttributeDescriptionList& descriptions) {
  std::string error;
  if (!descriptions.LoadXML(AttributeDescriptionsXml(), &error, false)) {
    Fail("the attribute descriptions did not load: %s", error.c_str());
  }
}

// What every input starts from and does not change, once per process: the folders, the log, the
// model's channels and its attribute descriptions.
struct Process {
  Process() {
    const char* log = std::getenv("CORVID_FUZZ_LOG");
    SetLogPath(log != nullptr ? log : "/dev/null");
    data_folder = folder.Path() + "/";
    LoadDescriptions(descriptions);
  }
  testing::TempFolder folder;
  std::string data_folder;
  const std::vector<TChannel2> channels = ModelChannels();
  TAttributeDescriptionList descriptions;
};

Process& TheProcess() {
  static Process process;
  return process;
}

// The model every input starts from. Only a document (command 63) can change the attribute
// descriptions: an input without one shares the process's table, one with it gets its own
// (loading the table costs more than most inputs).
struct Run {
  Run(Process& process, bool own_descriptions) {
    TAttributeDescriptionList* table = &process.descriptions;
    if (own_descriptions) {
      LoadDescriptions(descriptions);
      table = &descriptions;
    }
    LinkSettings settings;
    settings.DataFolder = process.data_folder;
    link.Configure(settings);
    link.SetSink(&sink);
    link.SetType2Model(&channels, table, &texts);
    table->ExportNames(&texts);
    for (TChannel2 channel : process.channels) {
      sink.OnPublish2(channel);
      if (!channels.Add(&channel, false, true, update_mask::kAll, true)) {
        Fail("the model channel %s was refused: %s", channel.Addr.c_str(),
             channels.LastError().c_str());
      }
    }
  }

  ProgressClock clock;
  platform::ScopedClock use_clock{clock};
  TType1Lists lists;
  TChannelList2 channels;
  TAttributeDescriptionList descriptions;
  TStringList texts{TStringList::Duplicates::kIgnore};
  ConvertingSink sink;
  TCorvidLink link{lists};
};

enum class Frame { kWhole, kIncomplete, kUnknown };

// The command at `position` of the first `size` stream bytes by the framing rules; `end`
// receives where a whole one ends.
Frame NextFrame(const std::uint8_t* stream, std::size_t size, std::size_t position,
                std::size_t& end) {
  if (position >= size) return Frame::kIncomplete;
  const std::uint8_t id = stream[position];
  const std::size_t stored = size - position;
  std::size_t length = 0;
  if (IsProtocol2(id)) {
    if (stored < static_cast<std::size_t>(kPacketHeaderSize)) return Frame::kIncomplete;
    length = wire::GetU16(stream + position + 1);
    if (length < static_cast<std::size_t>(kPacketHeaderSize)) length = kPacketHeaderSize;
  } else {
    const std::int32_t struct_size = StructSize(id);
    if (struct_size == 0) return Frame::kUnknown;
    length = static_cast<std::size_t>(struct_size);
  }
  if (stored < length) return Frame::kIncomplete;
  end = position + length;
  return Frame::kWhole;
}

// Whether a document (63) is among the whole commands of the stream.
bool HasDocument(const std::uint8_t* stream, std::size_t size) {
  std::size_t position = 0;
  for (std::size_t end = 0; NextFrame(stream, size, position, end) == Frame::kWhole;
       position = end) {
    if (stream[position] == p2::kDocument) return true;
  }
  return false;
}

void CheckChannels(const TChannelList2& channels) {
  const std::string fault = channels.CheckConsistency();
  if (!fault.empty()) Fail("the channel list is inconsistent: %s", fault.c_str());
}

}  // namespace
}  // namespace corvid::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvid;
  using namespace corvid::fuzz;
  if (size < 2) return 0;
  Process& process = TheProcess();
  Run run(process, HasDocument(data + 1, size - 1));
  TCorvidCmdParser& buffer = run.link.ReceiveBuffer();

  const std::size_t chunk = data[0];
  const std::uint8_t* stream = data + 1;
  const std::size_t length = size - 1;
  std::size_t fed = 0;       // stream bytes put into the buffer
  std::size_t boundary = 0;  // end of the whole commands among them
  bool unknown = false;
  while (fed < length && !unknown) {
    const std::size_t take = chunk == 0 || chunk > length - fed ? length - fed : chunk;
    if (!buffer.Add(stream + fed, static_cast<std::int32_t>(take))) Fail("Add refused %zu", take);
    fed += take;

    bool whole = false;
    for (std::size_t end = 0;;) {
      const Frame frame = NextFrame(stream, fed, boundary, end);
      if (frame == Frame::kUnknown) unknown = true;
      if (frame != Frame::kWhole) break;
      boundary = end;
      whole = true;
    }

    run.clock.Watch(&buffer);
    const int result = run.link.DispatchReceived();
    run.clock.Watch(nullptr);

    const std::size_t consumed = fed - static_cast<std::size_t>(buffer.Count());
    if (unknown) {
      if (buffer.Count() != 0) Fail("an unknown command left %d bytes", buffer.Count());
    } else if (consumed != boundary) {
      Fail("consumed %zu bytes of %zu, the whole commands end at %zu", consumed, fed, boundary);
    }
    const int expected = whole ? TCorvidLink::kReceiveHandled : TCorvidLink::kReceiveNothing;
    if (result != expected) Fail("DispatchReceived gave %d, expected %d", result, expected);
    if (whole) CheckChannels(run.channels);
  }

  // The dump of an unknown command is appended for ever; start each input without it.
  std::error_code ignored;
  std::filesystem::remove(process.folder.Path("musor.dat"), ignored);
  return 0;
}
