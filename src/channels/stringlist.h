// A list of text lines, each carrying a number (the id of what the line names): the form in which
// attribute names travel from the description table to the OPC item properties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
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
    std::vector<std::size_t>& same_id = by_id_[id];
    if (duplicates_ == Duplicates::kIgnore) {
      for (const std::size_t at : same_id) {
        if (lines_[at].text == text) return;
      }
    }
    lines_.push_back(NamedId{std::move(text), id});
    same_id.push_back(lines_.size() - 1);
  }

  void Clear() {
    lines_.clear();
    by_id_.clear();
  }
  std::size_t Count() const { return lines_.size(); }
  const NamedId& operator[](std::size_t index) const { return lines_.at(index); }
  const std::vector<NamedId>& Lines() const { return lines_; }

  // The text of the first line that carries `id`; null when there is none.
  const std::string* FindById(std::uint32_t id) const {
    const auto found = by_id_.find(id);
    return found == by_id_.end() || found->second.empty() ? nullptr
                                                          : &lines_[found->second.front()].text;
  }

 private:
  Duplicates duplicates_;
  std::vector<NamedId> lines_;
  // The positions of the lines of each id, in order: found without walking the list.
  std::unordered_map<std::uint32_t, std::vector<std::size_t>> by_id_;
};

}  // namespace corvid
