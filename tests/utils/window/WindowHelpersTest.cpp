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
