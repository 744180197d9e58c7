#pragma once

// Shared by the stand-in transcoder and the tests that run it.

#define STAND_IN_TRANSCODER_NAME L"stand-in-transcoder.exe"

// Byte number pos of everything that "out-pattern" writes in one run: a
// period that no power-of-two read size divides, so a lost or repeated
// block shows.
inline unsigned char standInPatternByte(unsigned long long pos)
{
  return static_cast<unsigned char>(pos % 251);
}
