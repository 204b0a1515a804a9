// The attribute description table that the Corvid server sends as XML: for each attribute
// identifier its data type, name and comment. Consulted when attributes are set or received, and
// exported as names for the OPC item properties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "channels/stringlist.h"
#include "platform/xml.h"

namespace corvid {

// One row of the table.
struct TAttributeDescription {
  std::uint16_t AttributeID = 0;  // 0 = not set; such a row is never found
  std::uint16_t Type = 0;         // data type code of the attribute's value
  std::string Name;
  std::string Comments;

  // Fills the row from one "attr" element (children "id", "type", "name", "comments", names
  // without regard to letter case; the values are the trimmed texts of the children). Raises
  // Exception "TAttributeDescription::LoadXML() AttributeID=<id> <reason>"; AttributeID keeps
  // what was stored before the failure.
  void LoadXML(const platform::XmlNode& element);
};

// The table. One per process, owned by the server thread and handed to its users by reference.
// Every operation takes the list's reentrant lock; LockList/UnlockList let a caller hold it over
// several of them.
class TAttributeDescriptionList {
 public:
  TAttributeDescriptionList() = default;
  TAttributeDescriptionList(const TAttributeDescriptionList&) = delete;
  TAttributeDescriptionList& operator=(const TAttributeDescriptionList&) = delete;

  void LockList() const { lock_.lock(); }
  void UnlockList() const { lock_.unlock(); }

  void Clear();

  // Replaces the rows by those of the XML document in `stream` (its bytes, in the encoding that
  // it declares). A document that cannot be parsed or whose root is not "attrs" leaves the old
  // rows. Rows that fail to load are skipped and the others kept. False on any failure;
  // `error_text`, when given, receives "" or the reason of the last failure. `com_ready` tells
  // whether the calling thread has COM set up (the Windows parser needs it); when false, the
  // load sets it up for its own duration. The lock is held for the whole load.
  bool LoadXML(std::string_view stream, std::string* error_text, bool com_ready);

  // Looks `id` up; the outputs that are given receive the values of the last row with that id.
  // False for id 0 and for an unknown id.
  bool FindDescription(std::uint16_t id, std::uint16_t* type, std::string* name,
                       std::string* comments) const;

  // Appends one line per row, in table order: the row's Name, carrying its AttributeID. Does not
  // clear `strings` first; nothing when `strings` is null.
  void ExportNames(TStringList* strings) const;

  std::size_t Count() const;
  // A copy of the row at `index` (which must be below Count()).
  TAttributeDescription Items(std::size_t index) const;

 private:
  // Guards rows_. Reentrant: a holder of LockList may call every operation.
  mutable std::recursive_mutex lock_;
  std::vector<TAttributeDescription> rows_;  // guarded by lock_
};

}  // namespace corvid
