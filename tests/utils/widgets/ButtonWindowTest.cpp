#include "ButtonWindow.h"
#include "WidgetTestSupport.h"

namespace {

// A hidden top-level window that counts the commands its button sends.
struct ButtonHost {
  RecordingWindow host{nullptr, WS_POPUP};
  ButtonWindow button{GetModuleHandleW(nullptr)};

  ButtonHost() { button.create(host.hwnd, 1001); }

  int commands() const { return static_cast<int>(std::count(host.messages.begin(), host.messages.end(), WM_COMMAND)); }
  void send(UINT msg, WPARAM keys = 0) { SendMessageW(button.hwnd, msg, keys, MAKELPARAM(5, 5)); }
  // The colour of the button's middle as it paints itself on white.
  COLORREF painted()
  {
    MemoryDC dc(30, 30);
    SendMessageW(button.hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.dc), PRF_CLIENT);
    return dc.pixel(10, 10);
  }
};

}

TEST(ButtonWindow, TakesTheSmallestSizeAmongItsPicturesAndRefusesAFifthState)
{
  ButtonHost h;
  h.button.setImage(BUTTON_OUT, picture(IDB_RED_24));
  h.button.setImage(BUTTON_OVER, picture(IDB_BLUE_20X30));
  EXPECT_EQ("0,0,20,24", rectText(h.button.getClientRect()));
  EXPECT_DEATH(h.button.setImage(BUTTON_STATES, picture(IDB_GREEN_24)), "Assertion failed");
}

TEST(ButtonWindow, PaintsTheNearestLowerStateThatHasAPicture)
{
  ButtonHost onlyOut;
  onlyOut.button.setImage(BUTTON_OUT, picture(IDB_RED_24));
  onlyOut.send(WM_LBUTTONDOWN, MK_LBUTTON);
  EXPECT_EQ(BUTTON_DOWN, onlyOut.button.getState());
  EXPECT_EQ(RGB(255, 0, 0), onlyOut.painted());

  ButtonHost noOut;
  noOut.button.setImage(BUTTON_OVER, picture(IDB_GREEN_24));
  noOut.button.setImage(BUTTON_DOWN, picture(IDB_RED_24));
  EXPECT_EQ(RGB(255, 255, 255), noOut.painted());
  noOut.send(WM_MOUSEMOVE);
  EXPECT_EQ(RGB(0, 160, 0), noOut.painted());
}

TEST(ButtonWindow, ClicksOnlyOnAReleaseWhosePressBeganOnTheButton)
{
  const std::pair<UINT, WPARAM> MOVE = {WM_MOUSEMOVE, 0}, DRAG = {WM_MOUSEMOVE, MK_LBUTTON},
                                DOWN = {WM_LBUTTONDOWN, MK_LBUTTON}, UP = {WM_LBUTTONUP, 0},
                                LEAVE = {WM_MOUSELEAVE, 0};
  struct Case {
    const char* name;
    bool active;
    std::vector<std::pair<UINT, WPARAM>> steps;
    int commands;
    int finalState;
  } cases[] = {
    {"press and release", true, {MOVE, DOWN, UP}, 1, BUTTON_OVER},
    {"leave and come back held", true, {MOVE, DOWN, LEAVE, DRAG, UP}, 1, BUTTON_OVER},
    {"dragged in from elsewhere", true, {DRAG, UP}, 0, BUTTON_OVER},
    {"released elsewhere, then dragged in", true, {DOWN, LEAVE, MOVE, LEAVE, DRAG, UP}, 0, BUTTON_OVER},
    {"inactive still clicks", false, {MOVE, DOWN, UP}, 1, BUTTON_INACTIVE},
    {"held over a hovered button", true, {MOVE, DRAG}, 0, BUTTON_OVER},
  };
  for (const Case& c : cases) {
    ButtonHost h;
    h.button.setActive(c.active);
    for (const auto& step : c.steps)
      h.send(step.first, step.second);
    EXPECT_EQ(c.commands, h.commands()) << c.name;
    EXPECT_EQ(c.finalState, h.button.getState()) << c.name;
  }
}
