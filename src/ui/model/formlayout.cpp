// Control placement of the log viewer and the message window.
#include "ui/model/formlayout.h"

#include <algorithm>

#include "ui/model/dpiscale.h"

namespace corvid {
namespace {

class Scaler {
 public:
  explicit Scaler(std::int32_t dpi) : dpi_(dpi) {}
  std::int32_t operator()(std::int32_t design) const { return ScaleToDpi(design, dpi_); }
  Box operator()(std::int32_t left, std::int32_t top, std::int32_t width,
                 std::int32_t height) const {
    return Box{(*this)(left), (*this)(top), (*this)(width), (*this)(height)};
  }

 private:
  std::int32_t dpi_;
};

Box Inside(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  return Box{left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

}  // namespace

ProtoViewLayout LayOutProtoView(std::int32_t client_width, std::int32_t client_height,
                                std::int32_t dpi, std::int32_t label_filter_width,
                                std::int32_t label_type_width, std::int32_t text_height) {
  const Scaler s(dpi);
  ProtoViewLayout l;
  l.top_panel = Box{0, 0, client_width, s(68)};
  // Labels end where their text ends; their tops sit 2 pixels below the edits' tops.
  l.filter_label = Box{s(20), s(18), label_filter_width, text_height};
  l.filter_edit = s(72, 16, 121, 21);
  l.clear_filter = s(199, 16, 18, 18);
  l.type_label = Box{s(244), s(18), label_type_width, text_height};
  l.type_filter = s(336, 15, 145, 19);
  l.goto_new = s(20, 45, 213, 17);
  l.more = s(287, 44, 18, 18);
  l.table_group = Inside(0, s(68), client_width, client_height);
  // The group's client area: 2 pixels of frame on each side, the caption's line at the top.
  const Box& g = l.table_group;
  l.table = Inside(g.left + s(2), g.top + text_height + s(2), g.left + g.width - s(2),
                   g.top + g.height - s(2));
  return l;
}

MessageFormLayout LayOutMessageForm(std::int32_t client_width, std::int32_t client_height,
                                    std::int32_t dpi) {
  const Scaler s(dpi);
  MessageFormLayout l;
  // Designed 8, 4, 505 × 124 in 519 × 180: 6 pixels to the right edge, 52 to the bottom.
  l.group = Inside(s(8), s(4), client_width - s(6), client_height - s(52));
  const Box& g = l.group;
  l.memo = Inside(g.left + s(8), g.top + s(11), g.left + g.width - s(8), g.top + g.height - s(5));
  // Designed 186, 134, 145 × 41: kept 46 pixels above the bottom and centred as designed.
  const std::int32_t ok_width = s(145);
  l.ok = Box{s(186) + (client_width - s(kMessageClientWidth)) / 2, client_height - s(46), ok_width,
             s(41)};
  return l;
}

PictureCaptionLayout LayOutPictureCaption(const Box& content, std::int32_t picture_size,
                                          std::int32_t caption_width, std::int32_t caption_height,
                                          std::int32_t spacing) {
  const std::int32_t together = picture_size + spacing + caption_width;
  const std::int32_t left = content.left + std::max((content.width - together) / 2, 0);
  PictureCaptionLayout l;
  l.picture =
      Box{left, content.top + (content.height - picture_size) / 2, picture_size, picture_size};
  const std::int32_t caption_left = left + picture_size + spacing;
  const std::int32_t room = content.left + content.width - caption_left;
  l.caption = Box{caption_left, content.top + (content.height - caption_height) / 2,
                  std::clamp(caption_width, 0, std::max(room, 0)), caption_height};
  return l;
}

}  // namespace corvid
