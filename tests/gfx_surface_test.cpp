#include <gtest/gtest.h>

#include "tests/GfxTestSurface.h"

using namespace gfxtest;

TEST(ISurface, LinksAndAttaches)
{
  TestDelegate delegate;
  TestSurface ui(delegate);
  auto* control = ui.AttachControl(new TestControl(IRECT(10, 10, 50, 50), 0));
  EXPECT_EQ(ui.GetControl(0), control);
}
