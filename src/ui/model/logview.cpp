// The log viewer's reading, filtering and captions.
#include "ui/model/logview.h"

#include <algorithm>
#include <limits>

#include "util/utils.h"

namespace corvid {

LoadStart ComputeLoadStart(std::uint32_t file_size, std::uint32_t chunk) {
  if (file_size > chunk) return {file_size - chunk, true};
  return {0, false};
}

std::uint32_t NextChunkSize(std::uint32_t chunk) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  return chunk > kMax / 2 ? kMax : chunk * 2;
}

TLogViewModel::TLogViewModel(bool live_mode, std::int32_t log_format)
    : live_mode_(live_mode), log_format_(log_format) {}

bool TLogViewModel::SeekTo(std::uint32_t offset) {
  constexpr std::uint32_t kMaxStep =
      static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
  if (offset <= kMaxStep) return log_file_.SeekFromStart(static_cast<std::int32_t>(offset));
  return log_file_.SeekFromStart(static_cast<std::int32_t>(kMaxStep)) &&
         log_file_.Seek(static_cast<std::int32_t>(offset - kMaxStep), file::SeekOrigin::kCurrent);
}

void TLogViewModel::SkipToLineStart(std::uint32_t offset) {
  char buffer[kMaxSkip];
  log_file_.Read(buffer, kMaxSkip);  // a short read near the end is normal
  const std::uint32_t n = log_file_.Transferred();
  const char* lf = std::find(buffer, buffer + n, '\n');
  SeekTo(offset + static_cast<std::uint32_t>(lf == buffer + n ? n : lf - buffer + 1));
}

bool TLogViewModel::ShowFile(const std::string& path) {
  if (path == file_name_ && !file_name_.empty()) return false;
  LoadFile(path);
  return true;
}

void TLogViewModel::LoadFile(const std::string& path) {
  log_file_.Close();
  file_name_ = path;
  // A half line of the previous reading does not belong to the new start.
  pending_line_.clear();
  ClearLines();
  if (!log_file_.Open(path, file::kGenericRead, file::kAttributeNormal, file::kOpenExisting,
                      file::kShareRead | file::kShareWrite)) {
    more_visible_ = false;
    return;
  }
  file_size_ = log_file_.Size();
  const LoadStart start = ComputeLoadStart(file_size_, read_chunk_size_);
  more_visible_ = start.more_available;
  if (start.more_available && SeekTo(start.offset)) SkipToLineStart(start.offset);
  ReadNewData();
}

TLogViewModel::ReadResult TLogViewModel::ReadNewData() {
  ReadResult result;
  // A full table takes nothing more; reading it again from the tail would fill it again.
  if (GridRowCount() >= kMaxRows) return result;
  if (log_file_.IsOpen()) {
    // One block buffer for the life of the viewer instead of one per timer tick.
    std::string& buffer = read_buffer_;
    buffer.resize(std::min(read_chunk_size_, kReadBlock));
    std::uint32_t left = read_chunk_size_;
    bool full = false;
    while (left > 0 && !full) {
      const std::uint32_t ask = std::min<std::uint32_t>(left, kReadBlock);
      log_file_.Read(buffer.data(), ask);
      const std::uint32_t n = log_file_.Transferred();
      if (n == 0) break;
      result.new_data = true;
      bytes_read_ += n;
      left -= n;
      const char* p = buffer.data();
      const char* const end = p + n;
      while (p != end && !full) {
        const char* eol = std::find_if(p, end, [](char c) { return c == '\n' || c == '\r'; });
        pending_line_.append(p, eol);
        if (eol == end) break;  // waits for its line end
        p = eol + 1;
        if (!pending_line_.empty()) {
          ProcessLine(pending_line_);
          pending_line_.clear();
          full = GridRowCount() >= kMaxRows;  // the rest is read again from the tail
        }
      }
      if (n < ask) break;  // the end of the data
    }
    if (result.new_data) file_size_ = log_file_.Size();
  }
  if (GridRowCount() >= kMaxRows) {
    result.row_limit = true;
    row_limit_notice_ = true;
    // Read the tail again; when even that fills the table (lines of a few bytes), the table
    // stays as it is instead of reloading over and over.
    if (!reloading_after_limit_) {
      reloading_after_limit_ = true;
      read_chunk_size_ = kInitialChunkSize;
      LoadFile(file_name_);
      reloading_after_limit_ = false;
    }
  }
  return result;
}

bool TLogViewModel::TakeRowLimitNotice() {
  const bool notice = row_limit_notice_;
  row_limit_notice_ = false;
  return notice;
}

void TLogViewModel::ProcessLine(std::string_view line) {
  ++total_lines_;
  if (!filter_.PassesText(line)) return;
  LogLine split = SplitLogLine(log_format_, line);
  if (!filter_.PassesType(split.level)) return;
  rows_.push_back({std::move(split.time), std::move(split.text), split.level});
}

void TLogViewModel::ClearLines() {
  rows_.clear();
  total_lines_ = 0;
  bytes_read_ = 0;
}

void TLogViewModel::ReadEarlier() {
  read_chunk_size_ = NextChunkSize(read_chunk_size_);
  row_grow_step_ += kRowGrowStep;
  LoadFile(file_name_);
}

void TLogViewModel::SetFilterText(const std::string& text) {
  filter_text_ = text;
  filter_.SetText(text);
}

void TLogViewModel::ClearFilter() {
  SetFilterText("");
  filter_delay_ = 0;
  LoadFile(file_name_);
}

void TLogViewModel::SetTypeFilter(std::int32_t item) {
  filter_.SetTypeIndex(item);
  LoadFile(file_name_);
}

TLogViewModel::TickResult TLogViewModel::Tick(const std::string& filter_edit_text) {
  TickResult result;
  if (filter_edit_text != filter_text_) {
    SetFilterText(filter_edit_text);
    filter_delay_ = 2;
  } else if (filter_delay_ > 0 && --filter_delay_ == 0) {
    result.reloaded = true;
    result.show_clear_filter = !filter_edit_text.empty();
    LoadFile(file_name_);
  }
  if (live_mode_ && log_file_.IsOpen()) result.read = ReadNewData();
  return result;
}

std::string TLogViewModel::WindowCaption() const {
  std::string caption = std::string(protoview::kCaption) + " [" + file_name_ + "]";
  if (more_visible_) {
    const auto read = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(bytes_read_, std::numeric_limits<std::uint32_t>::max()));
    caption += " последние " + SizeText(read) + " из " + SizeText(file_size_);
  }
  return caption;
}

std::string TLogViewModel::GroupCaption() const {
  const std::int32_t shown = ShownLines();
  if (shown == total_lines_) return "Всего " + std::to_string(shown) + " строк";
  return "Показано " + std::to_string(shown) + " строк из " + std::to_string(total_lines_);
}

std::int32_t TLogViewModel::GridRowCount() const {
  return std::max(ShownLines() + 1, 2);
}

std::string LogClipboardText(const std::vector<LogRow>& rows) {
  std::string text = std::string(protoview::kHeaderTime) + "\t" + protoview::kHeaderEvent + "\r\n";
  if (rows.empty()) return text + "\t\r\n";
  for (const LogRow& row : rows) text += row.time + "\t" + row.text + "\r\n";
  return text;
}

std::int32_t LogRowHeight(std::int32_t font_height) {
  const std::int32_t h = (font_height < 0 ? -font_height : font_height) + 6;
  return h + h / 2;
}

std::string protoview::EventCaption(const std::string& time) {
  return "Событие на " + time;
}

}  // namespace corvid
