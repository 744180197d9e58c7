#include "WindowTestSupport.h"

#include <gtest/gtest.h>

TEST(CommandLine, SplitsAtBlanksOutsideQuotes)
{
  struct Case {
    const wchar_t* text;
    int maxArgs;
    std::vector<std::wstring> args;
  } cases[] = {
    {L"play \"my video.mp4\" now", 8, {L"play", L"my video.mp4", L"now"}},
    {L"a\"b c\"d e", 8, {L"a\"b c\"d", L"e"}},
    {L"\"\" x", 8, {L"", L"x"}},
    {L"one two three", 1, {L"one"}},
    {L"  \u00e9t\u00e9 \"C:\\Vid\u00e9os\\\u65e5\u672c.mkv\"  ", 8, {L"\u00e9t\u00e9", L"C:\\Vid\u00e9os\\\u65e5\u672c.mkv"}},
    {L"\"open", 8, {L"open"}},
    {L"", 8, {}},
  };
  for (const Case& c : cases) {
    CommandLine line(c.text, c.maxArgs);
    std::vector<std::wstring> args;
    for (int i = 0; i < line.getCount(); i++)
      args.push_back(line.getArg(i));
    EXPECT_EQ(c.args, args) << toUtf8(c.text);
  }
}

TEST(Rectangles, SnapToEdgesAndCentre)
{
  const RECT area = {0, 0, 1000, 800};
  struct Case {
    RECT in;
    bool keepInside;
    RECT out;
    bool moved;
  } cases[] = {
    {{1, 300, 101, 400}, false, {2, 300, 102, 400}, true},
    {{400, 300, 500, 400}, false, {400, 300, 500, 400}, false},
    {{895, 795, 995, 895}, false, {898, 795, 998, 895}, true},
    {{895, 795, 995, 895}, true, {898, 698, 998, 798}, true},
    {{-50, -30, 50, 70}, true, {2, 2, 102, 102}, true},
    // Taller than the area: the bottom rule wins over the top one.
    {{100, 0, 200, 900}, true, {100, -102, 200, 798}, true},
  };
  for (const Case& c : cases) {
    RECT r = c.in;
    EXPECT_EQ(c.moved, snapToEdges(r, area, 10, c.keepInside)) << c.in.left << "," << c.in.top;
    EXPECT_TRUE(EqualRect(&r, &c.out)) << c.in.left << "," << c.in.top << " -> " << r.left << "," << r.top;
  }

  // Centring truncates halves.
  RECT box = {0, 0, 5, 3};
  centerRect(box, RECT{10, 10, 21, 20});
  EXPECT_EQ("13,14,18,17", rectText(box));
}

TEST(Rectangles, FillOutsideLeavesTheInnerPart)
{
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 10, 10);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const RECT inner = {2, 3, 7, 8};
  const RECT outer = {0, 0, 10, 10};
  fillOutside(dc, inner, outer, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  for (int y = 0; y < 10; y++)
    for (int x = 0; x < 10; x++)
      EXPECT_EQ(pointInRect(inner, x, y) ? 0u : 0xFFFFFFu, GetPixel(dc, x, y)) << x << "," << y;
  DeleteObject(SelectObject(dc, old));
  DeleteDC(dc);
}

TEST(Paths, ExtensionsAndFileNames)
{
  struct Case {
    const wchar_t* path;
    const wchar_t* ext;
    bool has;
    int at;
  } cases[] = {
    {L"C:\\src\\main.cpp", L"cpp", true, 12},
    {L"C:\\src\\MAIN.CPP", L"cpp", true, 12},
    {L"C:\\my.videos\\clip", L"", true, -1},
    {L"C:\\my.videos\\clip", L"videos\\clip", false, -1},
    {L"C:\\videos\\clip.mp4", L"", false, 15},
    {L"C:\\Vid\u00e9os\\f\u00eate.MKV", L"mkv", true, 15},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.has, hasExtension(c.path, c.ext)) << toUtf8(c.path) << " " << toUtf8(c.ext);
    EXPECT_EQ(c.at, findExtension(c.path)) << toUtf8(c.path);
  }
  EXPECT_EQ(-1, findExtension(nullptr));

  // Stripping the file name keeps the folder.
  wchar_t path[64] = L"C:\\v\u00e9\\clip.mp4";
  EXPECT_EQ(6, stripFileName(path));
  EXPECT_STREQ(L"C:\\v\u00e9\\", path);
  wcscpy(path, L"name.mp4");
  EXPECT_EQ(0, stripFileName(path));
  EXPECT_STREQ(L"", path);
}

TEST(DesktopFocus, ForceForegroundWindow)
{
  RecordingWindow first(0, WS_POPUP | WS_VISIBLE);
  RecordingWindow second(0, WS_POPUP | WS_VISIBLE);
  forceForegroundWindow(first.hwnd);
  EXPECT_EQ(first.hwnd, GetForegroundWindow());
  forceForegroundWindow(second.hwnd);
  EXPECT_EQ(second.hwnd, GetForegroundWindow());
}
