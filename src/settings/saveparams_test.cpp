// The window-state store: value forms, FitToDesktop, bounds and column widths, the viewer's
// options through params.ini.
#include "settings/saveparams.h"

#include <gtest/gtest.h>

#include "platform/temp_folder_for_tests.h"
#include "settings/savepar.h"
#include "settings/viewoptions.h"

namespace corvid {
namespace {

TEST(SaveParams, ValueTextsAndConversions) {
  EXPECT_EQ(ParamValueText(std::int64_t{-42}), "-42");
  EXPECT_EQ(ParamValueText(true), "True");
  EXPECT_EQ(ParamValueText(false), "False");
  EXPECT_EQ(ParamValueText(std::string("текст")), "текст");
  EXPECT_EQ(ParamValueText(ParamValue{}), "");
  EXPECT_EQ(ParamTextToInt(" -12 "), -12);
  EXPECT_EQ(ParamTextToInt("+7"), 7);
  for (const char* bad : {"", "1x", "x", "+-1", "2147483648", "1.5"}) {
    EXPECT_FALSE(ParamTextToInt(bad).has_value()) << bad;
  }
  EXPECT_EQ(ParamTextToBool("true"), true);
  EXPECT_EQ(ParamTextToBool("FALSE"), false);
  EXPECT_EQ(ParamTextToBool("0"), false);
  EXPECT_FALSE(ParamTextToBool("yes").has_value());
}

TEST(FitToDesktop, MovesAndCutsIntoTheDesktop) {
  struct Case {
    FormBounds saved;
    DesktopRect desktop;
    bool accepted;
    FormBounds fitted;
  };
  const DesktopRect hd{0, 0, 1920, 1080};
  const Case cases[] = {
      {{3000, 100, 600, 400}, hd, true, {1320, 100, 600, 400}},
      {{100, 100, 2500, 400}, hd, true, {0, 100, 1920, 400}},
      {{100, 900, 600, 400}, hd, true, {100, 680, 600, 400}},
      {{-500, -300, 600, 400}, hd, true, {0, 0, 600, 400}},
      {{10, 20, 30, 40}, hd, true, {10, 20, 30, 40}},
      // A second monitor left of the main one.
      {{-1900, 0, 600, 400}, {-1920, 0, 3840, 1080}, true, {-1900, 0, 600, 400}},
      {{-10000, 0, 600, 400}, hd, false, {}},
      {{0, 0, 600, -32000}, hd, false, {}},
      {{2147483647, 2147483647, 2147483647, 2147483647}, hd, true, {0, 0, 1920, 1080}},
  };
  for (const Case& c : cases) {
    FormBounds b = c.saved;
    EXPECT_EQ(FitToDesktop(b, c.desktop), c.accepted) << c.saved.left;
    EXPECT_EQ(b, c.accepted ? c.fitted : c.saved) << c.saved.left;
  }
}

TEST(SaveParams, BoundsAndColumnsRoundTripThroughTheFile) {
  testing::TempFolder dir;
  const std::string path = ParamsIniPath(dir.Path(), '/');
  const DesktopRect desktop{0, 0, 1920, 1080};
  {
    TSaveParamsINI store(path, false);
    SaveFormBounds(store, "ProtoViewForm", {3000, 50, 600, 400});
    SaveColumnWidths(store, "ProtoViewForm", "LogSG", {5, 21, 300});
  }
  TSaveParamsINI store(path, false);
  store.SetMinimumColumnWidth(kParamsMinimumColumnWidth);
  FormBounds bounds{1, 2, 3, 4};
  RestoreFormBounds(store, "ProtoViewForm", desktop, bounds);
  EXPECT_EQ(bounds, (FormBounds{1320, 50, 600, 400}));
  EXPECT_EQ(store.CurrentSection(), "ProtoViewForm");
  std::vector<std::int32_t> widths{153, 639, 77, 88};
  RestoreColumnWidths(store, "ProtoViewForm", "LogSG", widths);
  EXPECT_EQ(widths, (std::vector<std::int32_t>{20, 21, 300, 88}));  // no key for column 4
}

TEST(SaveParams, MissingOrBadBoundsLeaveTheFormAlone) {
  testing::TempFolder dir;
  const DesktopRect desktop{0, 0, 1920, 1080};
  for (const char* content :
       {"[F]\nLeft=1\nTop=2\nWidth=3\n", "[F]\nLeft=1\nTop=x\nWidth=3\nHeight=4\n",
        "[F]\nLeft=-32000\nTop=-32000\nWidth=160\nHeight=28\n"}) {
    TSaveParamsINI store(dir.WriteFile("b.ini", content), false);
    FormBounds bounds{5, 6, 7, 8};
    RestoreFormBounds(store, "F", desktop, bounds);
    EXPECT_EQ(bounds, (FormBounds{5, 6, 7, 8})) << content;
  }
}

TEST(SaveParams, ViewerStateInTheOrderOfANewFile) {
  testing::TempFolder dir;
  const std::string path = ParamsIniPath(dir.Path(), '/');
  ProtoViewOptions saved;
  saved.goto_new_mess = false;
  saved.text_filter = "ОШИБКА";
  saved.font_name = "Courier New";
  saved.font_size = 10;
  saved.font_style = kFontStyleBold | kFontStyleItalic;
  {
    TSaveParamsINI store(path, false);
    SaveProtoViewState(store, {10, 20, 554, 359}, {153, 639}, saved);
  }
  EXPECT_EQ(dir.ReadFile("params.ini"),
            "[ProtoViewForm]\r\nLeft=10\r\nTop=20\r\nWidth=554\r\nHeight=359\r\nLogSG_col1=153\r\n"
            "LogSG_col2=639\r\nGotoNewMess=False\r\nTextFilter=\xCE\xD8\xC8\xC1\xCA\xC0\r\n"
            "FontName=Courier New\r\nFontSize=10\r\nFontStyle=3\r\n");

  TSaveParamsINI store(path, false);
  FormBounds bounds;
  std::vector<std::int32_t> widths{1, 1};
  ProtoViewOptions restored;
  const auto searches = store.Ini()->KeySearches();
  RestoreProtoViewState(store, {0, 0, 1920, 1080}, bounds, widths, restored);
  EXPECT_EQ(store.Ini()->KeySearches(), searches);  // read in file order: no search
  EXPECT_EQ(bounds, (FormBounds{10, 20, 554, 359}));
  EXPECT_EQ(widths, (std::vector<std::int32_t>{153, 639}));
  EXPECT_FALSE(restored.goto_new_mess);
  EXPECT_EQ(restored.text_filter, "ОШИБКА");
  EXPECT_EQ(restored.font_name, "Courier New");
  EXPECT_EQ(restored.font_size, 10);
  EXPECT_EQ(restored.font_style, 3);
}

TEST(SaveParams, EmptyValuesCountAsAbsent) {
  testing::TempFolder dir;
  TSaveParamsINI store(
      dir.WriteFile("e.ini", "[ProtoViewForm]\nTextFilter=\nFontName=\nFontSize=20\n"), false);
  ProtoViewOptions options;
  options.text_filter = "keep";
  FormBounds bounds;
  std::vector<std::int32_t> widths;
  RestoreProtoViewState(store, {0, 0, 800, 600}, bounds, widths, options);
  EXPECT_EQ(options.text_filter, "keep");
  EXPECT_TRUE(options.goto_new_mess);
  EXPECT_EQ(options.font_size, 8);  // no font name: the size is not taken
  store.SetCurrentSection("ProtoViewForm");
  EXPECT_FALSE(store.Value("TextFilter").has_value());
  EXPECT_TRUE(store.ValueExists("ProtoViewForm", "TextFilter"));
}

TEST(SaveParams, CreateNewFileIgnoresTheOldContentAndFlushReportsTheOutcome) {
  testing::TempFolder dir;
  const std::string path = dir.WriteFile("n.ini", "[default]\nold=1\n");
  TSaveParamsINI store(path, true);
  EXPECT_FALSE(store.Value("old").has_value());
  store.SetValueByIndex(3, std::int64_t{7});
  EXPECT_EQ(store.ValueByIndex(3), "7");
  EXPECT_TRUE(store.Flush());
  EXPECT_EQ(dir.ReadFile("n.ini"), "[default]\r\nindex3=7\r\n");
  EXPECT_TRUE(store.Flush());  // nothing to write

  TSaveParamsINI unwritable(dir.Path("missing/p.ini"), false);
  unwritable.SetValue("k", true);
  EXPECT_FALSE(unwritable.Flush());
}  // the failing destructor stays silent

}  // namespace
}  // namespace corvid
