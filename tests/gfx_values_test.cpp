#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "gfx/IPopupMenu.h"
#include "gfx/IRECT.h"
#include "gfx/IText.h"

using namespace plug::gfx;

TEST(IRECT, EmptinessOverlapAndAlignment)
{
  const IRECT a(0, 0, 10, 10), b(5, 5, 20, 20), empty;
  EXPECT_TRUE(a.Contains(0.f, 0.f));
  EXPECT_FALSE(a.Contains(10.f, 5.f)); // right and bottom exclusive
  EXPECT_FALSE(empty.Contains(0.f, 0.f));
  EXPECT_EQ(a.Intersect(b), IRECT(5, 5, 10, 10));
  EXPECT_TRUE(a.Intersect(IRECT(10, 0, 20, 10)).Empty()); // touching edges do not overlap
  EXPECT_EQ(empty.Union(b), b);
  EXPECT_EQ(IRECT(0.3f, 0.3f, 9.6f, 9.6f).GetPixelAligned(2.f), IRECT(0, 0, 10, 10));
  EXPECT_EQ(IRECT(0.3f, 0.3f, 9.6f, 9.6f).GetPixelAligned(0.f), IRECT(0.3f, 0.3f, 9.6f, 9.6f)); // no scale, no change

  EXPECT_TRUE(IRECT(0, 0, 10, 10).Mergeable(IRECT(0, 10, 10, 20))); // same columns, touching
  EXPECT_TRUE(IRECT(0, 0, 10, 10).Mergeable(IRECT(10, 0, 30, 10))); // same rows, touching
  EXPECT_FALSE(IRECT(0, 0, 10, 10).Mergeable(IRECT(0, 11, 10, 20)));
  EXPECT_FALSE(IRECT(0, 0, 10, 10).Mergeable(IRECT(10, 0, 30, 11)));
  EXPECT_TRUE(a.Mergeable(empty));
}

namespace {

// How many rectangles of the list cover each cell of a 40 x 40 grid.
std::vector<int> Coverage(const IRECTList& list)
{
  std::vector<int> cells(40 * 40);
  for (int i = 0; i < list.Size(); ++i)
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x)
        cells[y * 40 + x] += list.Get(i).Contains(x + 0.5f, y + 0.5f) ? 1 : 0;
  return cells;
}

} // namespace

TEST(IRECTList, OptimizeMergesContainedAndTouchingRegions)
{
  IRECTList list;
  list.Add({0, 0, 20, 20});
  list.Add({5, 5, 10, 10});
  list.Optimize();
  ASSERT_EQ(list.Size(), 1);
  EXPECT_EQ(list.Get(0), IRECT(0, 0, 20, 20));

  list.Clear();
  list.Add({0, 0, 10, 10});
  list.Add({10, 0, 25, 10});
  list.Optimize();
  ASSERT_EQ(list.Size(), 1);
  EXPECT_EQ(list.Get(0), IRECT(0, 0, 25, 10));
}

// Every cell that was dirty is drawn exactly once: no overlap and nothing lost, also where one
// rectangle crosses the middle of another (a cross, a band through a rectangle, a side poking in).
TEST(IRECTList, OptimizeCoversTheSameCellsExactlyOnce)
{
  std::mt19937 random(7);
  std::uniform_int_distribution<int> coordinate(0, 39);
  const std::vector<std::vector<IRECT>> fixed = {{{0, 10, 30, 20}, {10, 0, 20, 30}}, // cross
                                                 {{0, 0, 10, 30}, {-5, 10, 15, 20}}, // band through the middle
                                                 {{0, 0, 20, 20}, {5, 5, 10, 30}},   // side poking in
                                                 {{0, 0, 20, 20}, {10, 10, 30, 30}, {5, 15, 25, 18}}};
  std::vector<std::vector<IRECT>> cases = fixed;
  for (int n = 0; n < 300; ++n)
  {
    std::vector<IRECT> rects;
    for (int k = 0; k < 2 + n % 5; ++k)
    {
      const int x1 = coordinate(random), x2 = coordinate(random), y1 = coordinate(random), y2 = coordinate(random);
      if (x1 != x2 && y1 != y2)
        rects.push_back(
            IRECT(float(std::min(x1, x2)), float(std::min(y1, y2)), float(std::max(x1, x2)), float(std::max(y1, y2))));
    }
    cases.push_back(rects);
  }
  for (const auto& rects : cases)
  {
    IRECTList list;
    for (const IRECT& r : rects)
      list.Add(r);
    std::vector<int> wanted = Coverage(list);
    for (int& cell : wanted)
      cell = cell > 0 ? 1 : 0;
    list.Optimize();
    ASSERT_EQ(Coverage(list), wanted) << "case with " << rects.size() << " rectangles, first " << rects[0].L;
  }
}

TEST(IText, FontNameIsCutAtACharacterBoundary)
{
  IText text;
  text.SetFont(nullptr);
  EXPECT_STREQ(text.mFont, "Roboto-Regular");

  std::string name(62, 'a');
  name += "\xC3\xA9"; // a two-byte character across the 63-byte limit
  text.SetFont(name.c_str());
  EXPECT_EQ(std::string(text.mFont), std::string(62, 'a'));

  name = std::string(61, 'b') + "\xC3\xA9" + "tail";
  text.SetFont(name.c_str());
  EXPECT_EQ(std::strlen(text.mFont), 63u);
  EXPECT_EQ(std::string(text.mFont), std::string(61, 'b') + "\xC3\xA9");
}

TEST(IPopupMenu, InsertionPrefixesAndSubmenus)
{
  IPopupMenu menu("Root", 2, false, {});
  for (const char* text : {"beta", "Alpha", "gamma"})
    menu.AddItem(text, IPopupMenu::kSorted);
  EXPECT_STREQ(menu.GetItemText(0), "Alpha");
  EXPECT_STREQ(menu.GetItemText(1), "beta");
  EXPECT_STREQ(menu.GetItemText(2), "gamma");
  EXPECT_EQ(menu.GetItemDisplayText(2), "03: gamma");
  menu.AddItem("first", 0);
  menu.AddItem("last", 99); // past the end appends
  EXPECT_STREQ(menu.GetItemText(0), "first");
  EXPECT_STREQ(menu.GetItemText(4), "last");
  EXPECT_EQ(menu.AddItem(static_cast<IPopupMenu::Item*>(nullptr)), nullptr);

  int calls = 0;
  IPopupMenu withFunction("F", {"a"}, [&calls](IPopupMenu*) { ++calls; });
  auto* nested = new IPopupMenu();
  nested->AddItem("only an empty submenu", new IPopupMenu());
  withFunction.AddItem("nested", nested);
  withFunction.AddItem("empty", new IPopupMenu());
  nested->ExecFunction(); // the submenu received the function
  EXPECT_EQ(calls, 1);
  withFunction.RemoveEmptySubmenus();
  ASSERT_EQ(withFunction.NItems(), 2);
  EXPECT_STREQ(withFunction.GetItemText(1), "nested");

  withFunction.CheckItem(0, true);
  withFunction.CheckItem(1, true); // without multi-check, checking one unchecks the others
  EXPECT_FALSE(withFunction.IsItemChecked(0));
  EXPECT_TRUE(withFunction.IsItemChecked(1));
  EXPECT_FALSE(withFunction.GetItem(1)->GetIsChoosable()); // it has a submenu
}
