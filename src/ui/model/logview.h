// The log viewer's model: reads the tail of a text log through TFile (further back on request,
// following the file while it grows), splits and filters its lines into table rows, and builds
// the captions. The window only shows the rows, forwards its events and draws.
//
// Reading: at most ReadChunkSize bytes per read, taken in blocks of at most 1 MiB; a large file
// is read from the first line start after the point ReadChunkSize before its end. A CR or LF
// ends a line; blank lines give nothing; bytes after the last line end wait for the next read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "ui/model/logline.h"

namespace corvid {

struct LogRow {
  std::string time;
  std::string text;
  LineLevel level = kLevelOther;
};

// Where loading starts: at `file_size` - `chunk` (then the earlier records can be asked for)
// or at the start.
struct LoadStart {
  std::uint32_t offset = 0;
  bool more_available = false;
};
LoadStart ComputeLoadStart(std::uint32_t file_size, std::uint32_t chunk);
// The chunk after a request for earlier records: doubled, never wrapping.
std::uint32_t NextChunkSize(std::uint32_t chunk);

class TLogViewModel {
 public:
  static constexpr std::uint32_t kInitialChunkSize = 1048576;
  static constexpr std::int32_t kRowGrowStep = 200;
  static constexpr std::int32_t kMaxRows = 300000;  // rows of the table, header included
  static constexpr std::uint32_t kMaxSkip = 500;    // bytes searched for the first line start
  static constexpr std::uint32_t kReadBlock = 1048576;

  TLogViewModel(bool live_mode, std::int32_t log_format);

  // Closes the shown file and reads `path` anew from its tail; a file that cannot be opened
  // leaves the table empty.
  void LoadFile(const std::string& path);
  // Loads `path` unless it is the file already shown; true when it was loaded.
  bool ShowFile(const std::string& path);

  struct ReadResult {
    bool new_data = false;  // bytes were read (rows may have been added)
    // This read filled the table to kMaxRows: the file was read again from its last
    // kInitialChunkSize bytes.
    bool row_limit = false;
  };
  // A table that is still full after that (a tail of very short lines) reads nothing more
  // until it is cleared or loaded anew.
  ReadResult ReadNewData();

  // True once after any operation (a load, a read, a filter change) filled the table; the
  // window then tells the user "Максимальное количество строк превышено".
  bool TakeRowLimitNotice();

  // Empties the table; the file position and a pending half line stay.
  void ClearLines();
  // "Прочитать записи ранее": twice the bytes, read anew.
  void ReadEarlier();

  // The filter text at creation (from params.ini), without reading.
  void SetFilterText(const std::string& text);
  const std::string& FilterText() const { return filter_text_; }
  // The clear-filter button: empties the filter and reads anew.
  void ClearFilter();
  // The type filter's item: reads anew.
  void SetTypeFilter(std::int32_t item);
  std::int32_t TypeFilter() const { return filter_.TypeIndex(); }

  struct TickResult {
    bool reloaded = false;           // a changed filter was applied
    bool show_clear_filter = false;  // meaningful when reloaded
    ReadResult read;                 // live reading
  };
  // The 1-second timer with the current text of the filter edit: a changed text is taken at
  // once for new lines and applied to the whole file two ticks later; live mode reads on.
  TickResult Tick(const std::string& filter_edit_text);

  // "Протокол [file]", with " последние <read> из <size>" while earlier records exist.
  std::string WindowCaption() const;
  // "Всего N строк" or "Показано N строк из M".
  std::string GroupCaption() const;

  const std::vector<LogRow>& Rows() const { return rows_; }
  // Rows of the table: the header and the shown rows, at least 2.
  std::int32_t GridRowCount() const;
  bool MoreVisible() const { return more_visible_; }
  bool LiveMode() const { return live_mode_; }
  std::int32_t LogFormat() const { return log_format_; }
  void SetLogFormat(std::int32_t format) { log_format_ = format; }
  const std::string& FileName() const { return file_name_; }
  bool FileOpen() const { return log_file_.IsOpen(); }
  std::uint32_t ReadChunkSize() const { return read_chunk_size_; }
  std::int32_t RowGrowStep() const { return row_grow_step_; }
  std::uint32_t FileSize() const { return file_size_; }
  std::uint64_t BytesRead() const { return bytes_read_; }
  std::int32_t TotalLines() const { return total_lines_; }
  std::int32_t ShownLines() const { return static_cast<std::int32_t>(rows_.size()); }
  std::int32_t FilterDelay() const { return filter_delay_; }

 private:
  void ProcessLine(std::string_view line);
  bool SeekTo(std::uint32_t offset);
  void SkipToLineStart(std::uint32_t offset);

  TFile log_file_{false};
  bool live_mode_;
  std::int32_t log_format_;
  std::uint32_t read_chunk_size_ = kInitialChunkSize;
  std::int32_t row_grow_step_ = kRowGrowStep;
  std::string file_name_;
  std::string filter_text_;
  LineFilter filter_;
  std::int32_t filter_delay_ = 0;
  std::uint32_t file_size_ = 0;
  std::uint64_t bytes_read_ = 0;
  std::int32_t total_lines_ = 0;
  std::vector<LogRow> rows_;
  bool more_visible_ = false;
  bool reloading_after_limit_ = false;
  bool row_limit_notice_ = false;
  std::string read_buffer_;
  std::string pending_line_;  // windows-1251 bytes of a line whose end has not been read yet
};

// The table as text for the clipboard: the header and every row, cells separated by a tab,
// rows ended by CR LF (an empty table gives one empty row). UTF-8.
std::string LogClipboardText(const std::vector<LogRow>& rows);

// The table's row height for a font of `font_height` pixels (sign ignored): 25 for 11.
std::int32_t LogRowHeight(std::int32_t font_height);

namespace protoview {
inline constexpr char kCaption[] = "Протокол";
inline constexpr char kHeaderTime[] = " Время";
inline constexpr char kHeaderEvent[] = " Событие";
inline constexpr char kFilterLabel[] = "Фильтр:";
inline constexpr char kTypeFilterLabel[] = "Фильтр по типу:";
inline constexpr char kClearFilterHint[] = "Очистить фильтр (показать все строки)";
inline constexpr char kGotoNewMess[] = "Переход на последнюю строку";
inline constexpr char kMoreHint[] = "Прочитать записи ранее";
inline constexpr char kMenuMore[] = "Прочитать записи ранее";
inline constexpr char kMenuClear[] = "Очистить";
inline constexpr char kMenuFont[] = "Шрифт";
inline constexpr char kMenuCopy[] = "Копировать в буфер обмена";
inline constexpr char kRowLimitMessage[] = "Максимальное количество строк превышено";
inline constexpr char kOpenFilter[] = "Текстовый файл (*.log)|*.log|Все файлы (*.*)|*.*";
inline constexpr char kOpenTitle[] = "Просмотр текстового протокола";
inline constexpr char kOpenDefaultExt[] = "log";
// Caption of the message window for an event.
std::string EventCaption(const std::string& time);
}  // namespace protoview

}  // namespace corvid
