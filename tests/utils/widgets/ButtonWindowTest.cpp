#include "ButtonWindow.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A hidden top-level window that counts the commands its button sends.
struct ButtonHost {
  RecordingWindow host{nullptr, WS_POPUP};
  ButtonWindow button{GetModuleHandleW(nullptr)};

  ButtonHost() { button.create(host.hwnd, 1001); }

  int commands() const { return static_cast<int>(std::count(host.messages.begin(), host.messages.end(), WM_COMMAND)); }
  void send(UINT msg, WPARAM keys = 0) { SendMessageW(button.hwnd, msg, keys, MAKELPARAM(5, 5)); }
};

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
