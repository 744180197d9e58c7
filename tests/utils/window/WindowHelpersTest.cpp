#include "WindowHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// A program started from a pipe has no console to attach to: its standard
// streams are reopened on the pipes all the same, and a missing input
// handle leaves standard output as it was.
TEST(AttachParentConsole, ReopensStandardInputAndOutputOnTheProcessHandles)
{
  HANDLE ownInput = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE ownOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE inputRead, inputWrite, outputRead, outputWrite;
  ASSERT_TRUE(CreatePipe(&inputRead, &inputWrite, nullptr, 0) && CreatePipe(&outputRead, &outputWrite, nullptr, 0));
  DWORD count;
  WriteFile(inputWrite, "typed\n", 6, &count, nullptr);
  fflush(stdout);
  SetStdHandle(STD_INPUT_HANDLE, inputRead);
  SetStdHandle(STD_OUTPUT_HANDLE, outputWrite);
  bool reopened = attachParentConsole();
  char typed[16] = "";
  fgets(typed, sizeof typed, stdin);
  fputs("shown\n", stdout);
  fflush(stdout);

  SetStdHandle(STD_INPUT_HANDLE, ownInput);
  SetStdHandle(STD_OUTPUT_HANDLE, ownOutput);
  bool reopenedBack = attachParentConsole();
  char shown[16];
  PeekNamedPipe(outputRead, shown, sizeof shown, &count, nullptr, nullptr);
  EXPECT_TRUE(reopened);
  EXPECT_TRUE(reopenedBack);
  EXPECT_STREQ(typed, "typed\n");
  EXPECT_EQ(std::string(shown, count), "shown\r\n");

  int output = _fileno(stdout);
  SetStdHandle(STD_INPUT_HANDLE, nullptr);
  EXPECT_FALSE(attachParentConsole());
  EXPECT_EQ(_fileno(stdout), output);
  SetStdHandle(STD_INPUT_HANDLE, ownInput);
  CloseHandle(inputWrite);
  CloseHandle(outputRead);
}

// Rules in order: keep inside, then top, bottom, left, right edges, each 2
// pixels inside the edge it snaps to; a later rule overrides an earlier one.
TEST(SnapToEdges, MovesAWindowNearAnEdgeJustInsideIt)
{
  const RECT area = {100, 50, 900, 650};
  const struct {
    const char* what;
    RECT area;
    POINT from;
    bool keepInside;
    POINT to;
  } cases[] = {
      {"1 pixel from the left edge", area, {101, 300}, false, {102, 300}},
      {"near the top edge", area, {400, 55}, false, {400, 52}},
      {"near the right edge", area, {797, 300}, false, {798, 300}},
      {"near the bottom edge", area, {400, 546}, false, {400, 548}},
      {"far from every edge", area, {400, 300}, false, {400, 300}},
      {"exactly the distance away", area, {110, 300}, false, {110, 300}},
      {"sticking out, left alone", area, {50, 700}, false, {50, 700}},
      {"sticking out, pulled inside, then snapped", area, {50, 700}, true, {102, 548}},
      {"near the top and the bottom: the bottom wins", {100, 50, 900, 160}, {400, 54}, false, {400, 58}},
  };
  for (const auto& c : cases) {
    RECT r = {c.from.x, c.from.y, c.from.x + 100, c.from.y + 100};
    bool moved = snapToEdges(r, c.area, 10, c.keepInside);
    EXPECT_EQ(moved, c.to.x != c.from.x || c.to.y != c.from.y) << c.what;
    EXPECT_EQ(r.left, c.to.x) << c.what;
    EXPECT_EQ(r.top, c.to.y) << c.what;
    EXPECT_EQ(r.right - r.left, 100) << c.what;
    EXPECT_EQ(r.bottom - r.top, 100) << c.what;
  }
}
