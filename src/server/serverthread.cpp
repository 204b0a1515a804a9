#include "server/serverthread.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/thread.h"
#include "server/comserver.h"
#include "server/product.h"
#include "server/registration.h"
#include "util/log.h"

namespace corvid {

std::atomic<ServerThread*> ServerThreadInstance{nullptr};

namespace {
constexpr std::uint32_t kRefreshPeriodMs = 1000;
}  // namespace

std::string ExeFolderFromPath(const std::string& exe_path, char separator) {
  std::string folder = exe_path.substr(0, exe_path.find_last_of(separator) + 1);
  const std::string dot{separator, '.', separator};
  const std::size_t at = folder.find(dot);
  if (at != std::string::npos) folder.erase(at, 2);
  return folder;
}

std::string ChooseDataFolder(const std::string& exe_folder) {
  const std::optional<std::string> common = platform::CommonAppDataFolder();
  if (!common) return exe_folder;
  const char sep = platform::PathSeparator();
  std::string folder = *common;
  if (folder.empty() || folder.back() != sep) folder += sep;
  folder += kDataFolderName;
  if (!platform::DirectoryExists(folder)) platform::CreateDirectoryOnce(folder);
  return folder + sep;
}

ServerThread::ServerThread(const std::string& command_line, const std::string& data_folder)
    : opc_(loVendorInfo{kProductVersion.major, kProductVersion.minor, kProductVersion.build,
                        kProductVersion.reserved, kProductVersion.title},
           ComServer::ProcessRefs()) {
  exe_folder_ = ExeFolderFromPath(platform::ExecutablePath(), platform::PathSeparator());
  data_folder_ = data_folder.empty() ? ChooseDataFolder(exe_folder_) : data_folder;
  SetLogPath(data_folder_ + "protokol.log");
  config_path_ = data_folder_ + "config.ini";
  params_path_ = data_folder_ + "params.ini";

  // Switches are case-sensitive substrings of the command line, "/r" first.
  if (command_line.find("/r") != std::string::npos) {
    const std::string quoted_path = "\"" + platform::ExecutablePath() + "\"";
    if (RegisterServerClass(quoted_path) == 0) {
      WriteLog("INFO\tРегистрация OPC DA сервера произведена успешно\t<%s>", kProgId);
    } else {
      WriteLog("ERROR\tОшибка при регистрация OPC DA сервера\t<%s>", kProgId);
    }
    registration_run_ = true;
  } else if (command_line.find("/u") != std::string::npos) {
    if (UnregisterServerClass() == 0) {
      WriteLog("INFO\tУдаление регистрации OPC DA сервера произведено успешно\t<%s>", kProgId);
    } else {
      WriteLog("ERROR\tОшибка при удалении регистрации OPC DA сервера\t<%s>", kProgId);
    }
    registration_run_ = true;
  } else {
    WriteLog("INFO\t*** %s запуск ***", kProductTitle);
  }
}

ServerThread::~ServerThread() {
  Terminate();
  WaitFor();
}

void ServerThread::Start() {
  if (thread_.joinable() || finished_.load()) return;
  thread_ = std::thread([this] {
    Execute();
    finished_.store(true);
  });
}

void ServerThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void ServerThread::Execute() {
  platform::SetCurrentThreadName("server");

  ServerConfig config;
  if (ReadConfig(config, config_path_)) {
    WriteLog("INFO\tЧтение настроек из файла: %s", config_path_.c_str());
  } else {
    WriteLog("ERROR\tФайл настроек не найден: %s", config_path_.c_str());
  }
  {
    std::lock_guard<std::mutex> guard(config_lock_);
    config_ = config;
  }
  update_tag_time_.store(config.UpdateTagTime != 0);
  WriteLog("INFO\tМаксимальное количество тэгов OPC: %d", config.MaxTagCount);
  ConfigureLink(config);

  ClassFactory& factory = opc_.Factory();
  factory.SetServing(true);
  factory.SetProcessRefCounted(true);

  ComServer com(opc_);
  if (!com.Initialize()) {
    WriteLog("ERROR\tCoInitializeEx() FAILED\tExiting...");
    return;
  }
  type2_tags_.SetMaxTagCount(config.MaxTagCount);
  if (opc_.Driver_init(config.MaxTagCount, config.BranchSep, 0) != 0) {
    WriteLog("ERROR\tDriver_init() FAILED\tExiting...");
  } else if (!com.RegisterFactory()) {
    WriteLog("ERROR\tCoRegisterClassObject() FAILED\tExiting...");
  } else {
    const std::int32_t wait_s = config.WaitForOpcClients;
    if (wait_s == 0) {
      WriteLog("INFO\tОжидание подключения клиентов...");
    } else {
      WriteLog("INFO\tОжидание подключения клиентов в течении %d секунд...", wait_s);
    }
    factory.AddServerRef();  // the start-up reference, released when the client wait has passed
    factory.SetServingEndSignal(&link_.Wake());  // the last release ends the main loop's wait

    // A negative wait is taken as no wait at all.
    MainLoop(wait_s > 0 ? static_cast<std::uint32_t>(wait_s) * 1000u : 0u);
    if (!com.Revoke()) WriteLog("ERROR\tCoRevokeClassObject() FAILED\tExiting...");
  }

  opc_.ShutdownService([this] { link_.Disconnect(); });
  factory.SetServingEndSignal(nullptr);
  com.Uninitialize();
  WriteLog("INFO\t*** %s завершение ***", kProductTitle);
}

ServerConfig ServerThread::ConfigCopy() const {
  std::lock_guard<std::mutex> guard(config_lock_);
  return config_;
}

void ServerThread::ApplyConfig(const ServerConfig& config) {
  {
    std::lock_guard<std::mutex> guard(config_lock_);
    config_ = config;
  }
  update_tag_time_.store(config.UpdateTagTime != 0);
  link_settings_changed_.store(true);
  link_.Wake().Raise();  // the refresh may be due now
}

void ServerThread::Terminate() {
  terminated_.store(true);
  link_.Wake().Raise();
}

LinkSettings ServerThread::LinkSettingsFrom(const ServerConfig& config) const {
  LinkSettings settings;
  settings.Host = config.Host;
  settings.Port = static_cast<std::uint16_t>(config.Port & 0xFFFF);
  settings.Login = config.Name;
  settings.Password = config.Password;
  settings.TimeoutMs = config.Timeout;
  settings.TestConnectSeconds = config.TestConnect;
  settings.DataFolder = data_folder_;
  settings.VersionMajor = static_cast<std::uint8_t>(kProductVersion.major);
  settings.VersionMinor = static_cast<std::uint8_t>(kProductVersion.minor);
  return settings;
}

void ServerThread::ConfigureLink(const ServerConfig& config) {
  link_.Configure(LinkSettingsFrom(config));
  link_.SetSink(&link_bridge_);
  link_.SetStopFlag(&terminated_);
  link_.SetType2Model(&channels_, &attribute_descriptions_, &attr_desc_texts_);
  type1_tags_.SetTagNameTemplate(config.TagName);
  opc_.SetWriteHandler([this](unsigned count, loTagPair* tags, const Variant* values,
                              std::int32_t* errors, std::int32_t* master_error) {
    return write_path_.WriteTags(count, tags, values, errors, master_error);
  });
}

void ServerThread::MainLoop(std::uint32_t wait_ms) {
  platform::Clock& clock = platform::CurrentClock();
  const std::uint32_t start = clock.TickCount();

  while (opc_.Factory().Serving() && !terminated_.load()) {
    if (!link_.Registered()) {
      if (link_settings_changed_.exchange(false)) link_.Configure(LinkSettingsFrom(ConfigCopy()));
      link_.ConnectAndRegister();
    } else {
      if (link_.Receive() == TCorvidLink::kReceiveDead) {
        link_.DropConnection();
        continue;
      }
      // The receive loop itself may have ended the session (an unknown command, a command
      // incomplete for a minute): then there is nothing to send or to test.
      if (link_.Registered()) {
        if (link_.FlushSendQueue() == TCorvidLink::FlushResult::kConnectionLost) continue;
        if (!link_.CorvidTest()) {
          WriteLog("ERROR\tТест связи не прошел. Сервер Corvid отключен.");
          link_.Disconnect();
        }
      }
    }

    if (update_tag_time_.load() &&
        platform::TicksSince(clock.TickCount(), last_refresh_tick_) >= kRefreshPeriodMs) {
      RefreshTimestamps();
      last_refresh_tick_ = clock.TickCount();
    }

    if (wait_ms != 0 && platform::TicksSince(clock.TickCount(), start) >= wait_ms) {
      wait_ms = 0;
      opc_.Factory().ReleaseServerRef();
    }

    // Until the next pass has something to do: bytes from the server, a command queued by a
    // client's write, a stop request (all three end the wait at once), or the next of the
    // refresh second, the end of the client wait, the link's own deadline.
    clock.Wait(NextPassInMs(start, wait_ms), link_.ReceiveSources());
  }
}

std::uint32_t ServerThread::NextPassInMs(std::uint32_t start, std::uint32_t wait_ms) {
  const std::uint32_t now = platform::CurrentClock().TickCount();
  std::uint32_t ms = std::min(kRefreshPeriodMs, link_.NextDueInMs());
  if (update_tag_time_.load()) {
    ms = std::min(ms, platform::TicksLeft(now, last_refresh_tick_, kRefreshPeriodMs));
  }
  if (wait_ms != 0) ms = std::min(ms, platform::TicksLeft(now, start, wait_ms));
  // A write that the socket did not take whole is tried again on the next pass, as ever.
  if (link_.Registered() && link_.SendQueue().Count() > 0) ms = 0;
  // Never a pass straight after another: at least the millisecond the loop always paused.
  return std::max(ms, 1u);
}

void ServerThread::RefreshTimestamps() {
  const platform::FileTime now = link_.ServerTimeNow();
  type1_tags_.UpdateTime(now);
  type2_tags_.opcUpdateTime2(now);
}

}  // namespace corvid
