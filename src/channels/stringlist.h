// A list of text lines, each carrying a number (the id of what the line names): the form in which
// attribute names travel from the description table to the OPC item properties.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace corvid {

struct NamedId {
  std::string text;
  std::uint32_t id = 0;

  bool operator==(const NamedId&) const = default;
};

// Not locked: the owner guards it when several threads use it.
class TStringList {
 public:
  enum class Duplicates { kAccept, kIgnore };

  explicit TStringList(Duplicates duplicates = Duplicates::kAccept) : duplicates_(duplicates) {}

  // Appends a line. With Duplicates::kIgnore a line equal in text and id to one already held is
  // not added again (so repeated exports of the same table do not make the list grow).
  void Add(std::string text, std::uint32_t id) {
    NamedId line{std::move(text), id};
    if (duplicates_ == Duplicates::kIgnore &&
        std::find(lines_.begin(), lines_.end(), line) != lines_.end()) {
      return;
    }
    lines_.push_back(std::move(line));
  }

  void Clear() { lines_.clear(); }
  std::size_t Count() const { return lines_.size(); }
  const NamedId& operator[](std::size_t index) const { return lines_.at(index); }
  const std::vector<NamedId>& Lines() const { return lines_; }

  // The text of the first line that carries `id`; null when there is none.
  const std::string* FindById(std::uint32_t id) const {
    for (const NamedId& line : lines_) {
      if (line.id == id) return &line.text;
    }
    return nullptr;
  }

 private:
  Duplicates duplicates_;
  std::vector<NamedId> lines_;
};

}  // namespace corvid
