#pragma once

#include "Bitmap.h"
#include "TestBitmaps.h"
#include "graphics/Pixels.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

// Resources are found through the framework's module handle.
inline void useFramework()
{
  initBaseWnd(GetModuleHandleW(nullptr), 0.75);
}

inline BitmapPtr picture(WORD id)
{
  useFramework();
  BitmapPtr image;
  image.reset(new Bitmap);
  EXPECT_TRUE(image->loadResource(MAKEINTRESOURCEW(id)));
  return image;
}
