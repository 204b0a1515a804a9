// DPI arithmetic and the placement of the log viewer's and the message window's controls.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/model/dpiscale.h"
#include "ui/model/formlayout.h"
#include "ui/model/messageform.h"

namespace corvid {
namespace {

TEST(DpiScale, MulDivRoundsHalfAwayFromZeroAndSurvivesExtremes) {
  struct Case {
    std::int32_t a, b, c, expected;
  };
  const Case cases[] = {
      {11, 144, 96, 17},
      {11, 120, 96, 14},  // 16.5 and 13.75
      {-11, 144, 96, -17},
      {5, 1, 2, 3},
      {-5, 1, 2, -3},
      {5, 1, -2, -3},
      {7, 3, 0, 0},
      {0x7FFFFFFF, 4, 2, 0x7FFFFFFF},
      {-0x7FFFFFFF, 4, 2, -0x7FFFFFFF - 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MulDivRound(c.a, c.b, c.c), c.expected) << c.a << " " << c.b << " " << c.c;
  }
}

TEST(DpiScale, FontPointsAndPixelHeightsRoundTrip) {
  EXPECT_EQ(FontHeightFromPoints(8, 96), -11);
  EXPECT_EQ(FontHeightFromPoints(10, 96), -13);
  EXPECT_EQ(FontHeightFromPoints(8, 144), -16);
  EXPECT_EQ(FontPointsFromHeight(-11, 96), 8);
  EXPECT_EQ(FontPointsFromHeight(13, 96), 10);
  for (const std::int32_t dpi : {96, 120, 144, 192}) {
    for (std::int32_t points = 6; points <= 36; ++points) {
      EXPECT_EQ(FontPointsFromHeight(FontHeightFromPoints(points, dpi), dpi), points)
          << points << " pt at " << dpi;
    }
  }
}

TEST(FormLayout, LogViewerAsDesignedAndScaled) {
  const ProtoViewLayout l = LayOutProtoView(554, 359, 96, 40, 85, 13);
  EXPECT_EQ(l.top_panel, (Box{0, 0, 554, 68}));
  EXPECT_EQ(l.filter_label, (Box{20, 18, 40, 13}));
  EXPECT_EQ(l.filter_edit, (Box{72, 16, 121, 21}));
  EXPECT_EQ(l.clear_filter, (Box{199, 16, 18, 18}));
  EXPECT_EQ(l.type_label, (Box{244, 18, 85, 13}));
  EXPECT_EQ(l.type_filter, (Box{336, 15, 145, 19}));
  EXPECT_EQ(l.goto_new, (Box{20, 45, 213, 17}));
  EXPECT_EQ(l.more, (Box{287, 44, 18, 18}));
  EXPECT_EQ(l.table_group, (Box{0, 68, 554, 291}));
  EXPECT_EQ(l.table, (Box{2, 83, 550, 274}));  // below the group's caption, inside its frame

  const ProtoViewLayout big = LayOutProtoView(831, 539, 144, 60, 128, 20);
  EXPECT_EQ(big.filter_edit, (Box{108, 24, 182, 32}));
  EXPECT_EQ(big.table_group, (Box{0, 102, 831, 437}));
  EXPECT_EQ(big.table, (Box{3, 125, 825, 411}));

  // A window smaller than its controls gives empty boxes, never negative sizes.
  const ProtoViewLayout tiny = LayOutProtoView(3, 50, 96, 40, 85, 13);
  EXPECT_EQ(tiny.table_group.height, 0);
  EXPECT_EQ(tiny.table.width, 0);
  EXPECT_EQ(tiny.table.height, 0);
}

TEST(FormLayout, MessageWindowFollowsItsSizeAndTheDpi) {
  const MessageFormLayout design = LayOutMessageForm(519, 180, 96);
  EXPECT_EQ(design.group, (Box{8, 4, 505, 124}));
  EXPECT_EQ(design.memo, (Box{16, 15, 489, 108}));
  EXPECT_EQ(design.ok, (Box{186, 134, 145, 41}));
  // Grown ten steps: the frame and the box follow, the button stays centred at the bottom.
  const MessageFormLayout grown = LayOutMessageForm(669, 380, 96);
  EXPECT_EQ(grown.group, (Box{8, 4, 655, 324}));
  EXPECT_EQ(grown.memo, (Box{16, 15, 639, 308}));
  EXPECT_EQ(grown.ok, (Box{261, 334, 145, 41}));
  const MessageFormLayout scaled = LayOutMessageForm(779, 270, 144);
  EXPECT_EQ(scaled.group, (Box{12, 6, 758, 186}));
  EXPECT_EQ(scaled.ok, (Box{279, 201, 218, 62}));
}

TEST(FormLayout, AButtonsPictureStandsJustBeforeItsCaption) {
  // The main window's "Настройка": 173 × 47 less 3 pixels of frame, a 32 pixel picture, 10
  // pixels, a caption 52 wide.
  const Box content{3, 3, 167, 41};
  const PictureCaptionLayout l = LayOutPictureCaption(content, 32, 52, 13, 10);
  EXPECT_EQ(l.picture, (Box{39, 7, 32, 32}));
  EXPECT_EQ(l.caption, (Box{81, 17, 52, 13}));
  EXPECT_EQ(l.picture.left + l.picture.width + 10, l.caption.left);
  // Centred together: as much room on the left as on the right.
  const std::int32_t left_room = l.picture.left - content.left;
  const std::int32_t right_room = content.left + content.width - (l.caption.left + l.caption.width);
  EXPECT_LE(std::abs(left_room - right_room), 1);
  // A caption too long for the button: the picture keeps to the left edge, the caption takes
  // the rest.
  const PictureCaptionLayout tight = LayOutPictureCaption(Box{3, 3, 96, 19}, 16, 120, 13, 4);
  EXPECT_EQ(tight.picture, (Box{3, 4, 16, 16}));
  EXPECT_EQ(tight.caption, (Box{23, 6, 76, 13}));
  const PictureCaptionLayout none = LayOutPictureCaption(Box{0, 0, 10, 10}, 16, 40, 13, 4);
  EXPECT_EQ(none.caption.width, 0);
}

TEST(FormLayout, MessageWindowLimitsScaleWithTheDpi) {
  const MessageWindowLimits limits = ScaledMessageLimits(144);
  EXPECT_EQ(limits.min, (WindowSize{600, 270}));
  EXPECT_EQ(limits.max, (WindowSize{1200, 900}));
  EXPECT_EQ(limits.step, (WindowSize{23, 30}));
  auto never_fits = [](WindowSize) { return TextFit{100, 5}; };
  EXPECT_EQ(GrowMessageWindow({1190, 880}, limits, never_fits), (WindowSize{1200, 900}));
  EXPECT_EQ(GrowMessageWindow({779, 320}, limits, never_fits), (WindowSize{1009, 620}));
  const MessageWindowLimits design = ScaledMessageLimits(96);
  EXPECT_EQ(design.max, (WindowSize{800, 600}));
  EXPECT_EQ(design.step, (WindowSize{15, 20}));
}

}  // namespace
}  // namespace corvid
