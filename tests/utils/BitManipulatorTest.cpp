#include "BitManipulator.h"

#include <gtest/gtest.h>

#include <vector>

TEST(BitManipulatorTest, ReadsTransportHeaderFieldsMostSignificantBitFirst)
{
  const unsigned char bytes[] = {0x47, 0x40, 0x11};
  BitManipulator bits(bytes, 3, false);
  EXPECT_EQ(bits.read(8), 0x47u);
  EXPECT_EQ(bits.read(1), 0u);
  EXPECT_EQ(bits.read(1), 1u);
  EXPECT_EQ(bits.read(1), 0u);
  EXPECT_EQ(bits.read(13), 0x0011u);
  EXPECT_EQ(bits.remaining(), 0);
  EXPECT_EQ(bits.read(0), 0u);
}

TEST(BitManipulatorTest, ReadsAcrossByteBordersAndWholeWords)
{
  const unsigned char bytes[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x5A};
  BitManipulator bits(bytes, 5, false);
  EXPECT_EQ(bits.read(4), 0xDu);
  EXPECT_EQ(bits.read(32), 0xEADBEEF5u);
  EXPECT_EQ(bits.read(4), 0xAu);

  bits.seek(0);
  EXPECT_EQ(bits.read(32), 0xDEADBEEFu);
  bits.seek(3);
  EXPECT_EQ(bits.read(7), 0x7Au);  // 11110 of 0xDE, then 10 of 0xAD
  EXPECT_EQ(bits.position(), 10);
}

TEST(BitManipulatorTest, PeekLeavesThePositionAlone)
{
  const unsigned char bytes[] = {0x00, 0x00, 0x01, 0x65};
  BitManipulator bits(bytes, 4, false);
  EXPECT_EQ(bits.peek(32), 0x00000165u);
  EXPECT_EQ(bits.position(), 0);
  bits.skip(8);
  EXPECT_EQ(bits.peek(24), 0x000165u);
  EXPECT_EQ(bits.position(), 8);
}

TEST(BitManipulatorTest, MatchConsumesOnlyOnSuccessAndTestNever)
{
  const unsigned char bytes[] = {0xA0};  // 101 00000
  BitManipulator bits(bytes, 1, false);
  EXPECT_FALSE(bits.match(4, 3));
  EXPECT_EQ(bits.position(), 0);
  EXPECT_TRUE(bits.test(5, 3));
  EXPECT_EQ(bits.position(), 0);
  EXPECT_TRUE(bits.match(5, 3));
  EXPECT_EQ(bits.position(), 3);
}

TEST(BitManipulatorTest, MatchPastTheEndComparesTheBitsThereAreAndStopsAtTheEnd)
{
  const unsigned char bytes[] = {0x03};
  BitManipulator bits(bytes, 1, false);
  bits.skip(6);
  EXPECT_TRUE(bits.match(3, 8));  // only "11" remain; no shift for the rest
  EXPECT_EQ(bits.remaining(), 0);
  bits.seek(6);
  EXPECT_FALSE(bits.match(12, 8));
  EXPECT_EQ(bits.position(), 6);
}

TEST(BitManipulatorTest, WriteChangesOnlyTheAddressedBits)
{
  unsigned char bytes[] = {0xFF, 0x00, 0xFF};
  BitManipulator bits(bytes, 3, false);
  bits.seek(4);
  bits.write(0x0F0, 12);  // 0000 | 1111 0000 over bits 4..15
  EXPECT_EQ(bytes[0], 0xF0);
  EXPECT_EQ(bytes[1], 0xF0);
  EXPECT_EQ(bytes[2], 0xFF);
  EXPECT_EQ(bits.position(), 16);
  bits.write(0x5, 3);
  EXPECT_EQ(bytes[2], 0xBF);

  bits.seek(0);
  bits.write(0x12345678, 24);
  EXPECT_EQ(bytes[0], 0x34);
  EXPECT_EQ(bytes[1], 0x56);
  EXPECT_EQ(bytes[2], 0x78);
}

TEST(BitManipulatorTest, CompactDropsWholeBytesAlreadyRead)
{
  const unsigned char bytes[] = {0x11, 0x22, 0x33, 0x44, 0x55};
  BitManipulator bits(bytes, 5, true);
  bits.seek(13);
  bits.compact();
  EXPECT_EQ(bits.position(), 5);
  EXPECT_EQ(bits.remaining(), 27);
  bits.seek(0);
  EXPECT_EQ(bits.read(8), 0x22u);
}

TEST(BitManipulatorTest, AppendGrowsAnOwnedBufferAndKeepsTheBitOffset)
{
  BitManipulator bits;
  const unsigned char first[] = {0xAB, 0xCD};
  bits.append(first, 2);
  EXPECT_EQ(bits.read(12), 0xABCu);
  std::vector<unsigned char> more(1000, 0x77);
  bits.append(more.data(), static_cast<int>(more.size()));
  // Byte 0 was dropped; the position keeps its offset within byte 1.
  EXPECT_EQ(bits.position(), 4);
  EXPECT_EQ(bits.read(12), 0xD77u);
  EXPECT_EQ(bits.remaining(), 8 * 1000 - 8);
}

TEST(BitManipulatorTest, AppendUsesTheRoomOfABorrowedBuffer)
{
  unsigned char block[4] = {0x01, 0x02, 0xEE, 0xEE};
  BitManipulator bits(block, 2, false, 4);
  const unsigned char more[] = {0x03, 0x04};
  bits.append(more, 2);
  EXPECT_EQ(bits.read(32), 0x01020304u);
}

TEST(BitManipulatorDeathTest, MisuseFailsAnAssertion)
{
  const unsigned char bytes[] = {0x00, 0x00};
  BitManipulator bits(bytes, 2, false);
  EXPECT_DEATH(bits.read(33), "num <= 32");
  EXPECT_DEATH(bits.read(17), "remaining\\(\\) >= num");
  EXPECT_DEATH(bits.seek(17), "pos <= _length");
  EXPECT_DEATH(bits.skip(17), "num <= remaining\\(\\)");
  EXPECT_DEATH(bits.write(0, 17), "remaining\\(\\) >= num");
  const unsigned char more[] = {0x00};
  EXPECT_DEATH(bits.append(more, 1), "_ownsData");
}
