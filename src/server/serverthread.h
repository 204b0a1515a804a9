// ServerThread: the worker thread that owns everything but the windows: the configuration, the
// OPC service, the Corvid link and the periodic timestamp refresh. The process entry constructs
// it, starts it, asks it to terminate and waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "channels/attributesdesc.h"
#include "channels/channellist.h"
#include "channels/stringlist.h"
#include "link/corvidlink.h"
#include "link/type1lists.h"
#include "opc/linkbridge.h"
#include "opc/opcservice.h"
#include "opc/writetags.h"
#include "server/config.h"

namespace corvid {

class ServerThread {
 public:
  // `command_line`: the command line without the program name. "/r" registers the OPC server
  // class, "/u" removes its registration; either makes this a registration run that must end.
  // `data_folder` (with its trailing separator) replaces the platform's choice when not empty.
  explicit ServerThread(const std::string& command_line, const std::string& data_folder = "");
  ~ServerThread();
  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;

  bool RegistrationRun() const { return registration_run_; }

  // Starts Execute on the thread (once).
  void Start();
  // Asks the main loop to end; WaitFor then returns once Execute has finished.
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }
  void WaitFor();

  const std::string& ExeFolder() const { return exe_folder_; }
  const std::string& DataFolder() const { return data_folder_; }
  const std::string& ConfigPath() const { return config_path_; }
  const std::string& ParamsPath() const { return params_path_; }

  // The configuration (any thread): read from config.ini at the start of Execute, changed
  // afterwards only by the settings dialog through ApplyConfig.
  ServerConfig ConfigCopy() const;
  // Takes the settings that the dialog stored (any thread). The link uses the connection
  // settings (HOST, PORT, NAME, PASSWORD, TIMEOUT, TESTCONNECT) from its next connection attempt
  // on and the timestamp refresh follows UPDATETAGTIME at once; the rest takes effect at the next
  // start, as the OPC service was created with it.
  void ApplyConfig(const ServerConfig& config);
  TCorvidLink& Link() { return link_; }
  // All type-2 channels, the attribute descriptions the server sent, and their names with the
  // attribute id of each (duplicates ignored) for naming item properties.
  TChannelList2& Channels() { return channels_; }
  TAttributeDescriptionList& AttributeDescriptions() { return attribute_descriptions_; }
  TStringList& AttrDescTexts() { return attr_desc_texts_; }
  // The OPC toolkit service, the class factory's references (Serving ends the main loop) and the
  // counters the main window shows.
  OpcService& Opc() { return opc_; }
  // The type-1 configuration lists and the type-1 tag table (its Count is read by the windows).
  TType1Lists& Type1Lists() { return type1_lists_; }
  TCorvidDataList& Type1Tags() { return type1_tags_; }

 private:
  void Execute();
  void MainLoop(std::uint32_t wait_ms);
  // How long the main loop may wait after a pass (at least 1 ms).
  std::uint32_t NextPassInMs(std::uint32_t start, std::uint32_t wait_ms);
  void RefreshTimestamps();
  // Hands the configuration and the type-2 model to the link and the configuration to the type-1
  // tag table, and installs the write path.
  void ConfigureLink(const ServerConfig& config);
  LinkSettings LinkSettingsFrom(const ServerConfig& config) const;

  std::string exe_folder_;
  std::string data_folder_;
  std::string config_path_;
  std::string params_path_;
  bool registration_run_ = false;

  mutable std::mutex config_lock_;
  ServerConfig config_;  // guarded by config_lock_
  // Set by ApplyConfig, taken by the main loop before its next connection attempt.
  std::atomic<bool> link_settings_changed_{false};
  std::atomic<bool> update_tag_time_{false};
  TAttributeDescriptionList attribute_descriptions_;
  TChannelList2 channels_;
  TStringList attr_desc_texts_{TStringList::Duplicates::kIgnore};
  std::uint32_t last_refresh_tick_ = 0;

  OpcService opc_;
  TType1Lists type1_lists_;
  TCorvidDataList type1_tags_{opc_, type1_lists_};
  TType2Tags type2_tags_{opc_, channels_, attr_desc_texts_, 0};
  TOpcLinkBridge link_bridge_{opc_, type1_tags_, &type2_tags_};
  TCorvidLink link_{type1_lists_};
  TOpcWritePath write_path_{opc_, channels_, link_};

  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
};

// The one server thread of the process; null before its construction and after its destruction.
extern std::atomic<ServerThread*> ServerThreadInstance;

// Folder rules of the server thread, pure so they can be tested.
// The folder part of an executable path with its trailing separator; the first "\.\" (or "/./")
// is replaced by one separator.
std::string ExeFolderFromPath(const std::string& exe_path, char separator);
// <common data folder>/Corvid OPC DA/ (created), or the executable's folder when the platform
// gives no common data folder.
std::string ChooseDataFolder(const std::string& exe_folder);

}  // namespace corvid
