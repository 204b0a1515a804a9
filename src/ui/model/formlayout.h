// Where the controls of the log viewer and of the message window stand for a client area of a
// given size, at the screen's DPI (designed at 96 DPI). The windows measure their label texts
// and apply the boxes.
#pragma once

#include <cstdint>

namespace corvid {

struct Box {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const Box&) const = default;
};

// The log viewer at 96 DPI: client area, smallest window (frame included).
inline constexpr std::int32_t kProtoViewClientWidth = 554;
inline constexpr std::int32_t kProtoViewClientHeight = 359;
inline constexpr std::int32_t kProtoViewMinWidth = 480;
inline constexpr std::int32_t kProtoViewMinHeight = 250;
// Initial widths of the time and event columns.
inline constexpr std::int32_t kProtoViewTimeColumnWidth = 153;
inline constexpr std::int32_t kProtoViewEventColumnWidth = 639;
// Item height of the type filter's list.
inline constexpr std::int32_t kTypeFilterItemHeight = 18;

struct ProtoViewLayout {
  Box top_panel;     // group box without caption, full width
  Box filter_label;  // "Фильтр:"
  Box filter_edit;
  Box clear_filter;  // picture button
  Box type_label;    // "Фильтр по типу:"
  Box type_filter;   // drop-down list
  Box goto_new;      // check box
  Box more;          // picture button
  Box table_group;   // group box with the row counts, the rest of the window
  Box table;         // the table inside that group
};

// `label_*_width`: the widths of the two label texts in pixels; `text_height`: the height of a
// line of the window's font, which the caption of the table's group takes.
ProtoViewLayout LayOutProtoView(std::int32_t client_width, std::int32_t client_height,
                                std::int32_t dpi, std::int32_t label_filter_width,
                                std::int32_t label_type_width, std::int32_t text_height);

// The message window at 96 DPI.
inline constexpr std::int32_t kMessageClientWidth = 519;
inline constexpr std::int32_t kMessageClientHeight = 180;

struct MessageFormLayout {
  Box group;  // frame without caption, follows all four sides
  Box memo;   // inside the group
  Box ok;     // at the bottom, centred
};

MessageFormLayout LayOutMessageForm(std::int32_t client_width, std::int32_t client_height,
                                    std::int32_t dpi);

// A button's picture just before its caption, `spacing` pixels apart, the two centred together
// in the button's `content` area and each centred vertically. When they do not fit, the picture
// keeps to the content's left edge and the caption takes the width that is left (the caption is
// then cut with an ellipsis).
struct PictureCaptionLayout {
  Box picture;
  Box caption;
};
PictureCaptionLayout LayOutPictureCaption(const Box& content, std::int32_t picture_size,
                                          std::int32_t caption_width, std::int32_t caption_height,
                                          std::int32_t spacing);

}  // namespace corvid
