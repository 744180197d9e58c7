#include "BitManipulator.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(BitManipulatorTest, ReadsMostSignificantBitFirstAcrossBytesAndWholeWords)
{
  const unsigned char header[] = {0x47, 0x40, 0x11};  // a transport packet's sync byte, flags and PID
  BitManipulator fields(header, 3, false);
  for (auto [width, value] : {std::pair{8, 0x47u}, {1, 0u}, {1, 1u}, {1, 0u}, {13, 0x0011u}})
    EXPECT_EQ(fields.read(width), value) << width;
  EXPECT_EQ(fields.remaining(), 0);
  EXPECT_EQ(fields.read(0), 0u);

  const unsigned char bytes[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x5A};
  BitManipulator bits(bytes, 5, false);
  for (auto [width, value] : {std::pair{4, 0xDu}, {32, 0xEADBEEF5u}, {4, 0xAu}})
    EXPECT_EQ(bits.read(width), value) << width;
  bits.seek(3);
  EXPECT_EQ(bits.read(7), 0x7Au);  // 11110 of 0xDE, then 10 of 0xAD
  EXPECT_EQ(bits.position(), 10);
  bits.seek(0);
  EXPECT_EQ(bits.peek(32), 0xDEADBEEFu);
  bits.skip(8);
  EXPECT_EQ(bits.peek(24), 0xADBEEFu);
  EXPECT_EQ(bits.position(), 8);
}

TEST(BitManipulatorTest, MatchConsumesOnlyOnSuccessTestNeverAndBothStopAtTheEnd)
{
  const unsigned char bytes[] = {0xA3};  // 101 000 11
  BitManipulator bits(bytes, 1, false);
  EXPECT_FALSE(bits.match(4, 3));
  EXPECT_TRUE(bits.test(5, 3));
  EXPECT_EQ(bits.position(), 0);
  EXPECT_TRUE(bits.match(5, 3));
  EXPECT_EQ(bits.position(), 3);
  // Only "11" remain: those are compared, without a shift for the rest.
  bits.seek(6);
  EXPECT_FALSE(bits.match(12, 8));
  EXPECT_EQ(bits.position(), 6);
  EXPECT_TRUE(bits.match(3, 8));
  EXPECT_EQ(bits.remaining(), 0);
}

TEST(BitManipulatorTest, WriteChangesOnlyTheAddressedBits)
{
  unsigned char bytes[] = {0xFF, 0x00, 0xFF};
  BitManipulator bits(bytes, 3, false);
  bits.seek(4);
  bits.write(0x0F0, 12);  // 0000 | 1111 0000 over bits 4..15
  EXPECT_EQ(bits.position(), 16);
  bits.write(0x5, 3);
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 3), (std::vector<unsigned char>{0xF0, 0xF0, 0xBF}));
  bits.seek(0);
  bits.write(0x12345678, 24);
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 3), (std::vector<unsigned char>{0x34, 0x56, 0x78}));
}

TEST(BitManipulatorTest, CompactAndAppendKeepTheBitOffset)
{
  const unsigned char bytes[] = {0x11, 0x22, 0x33, 0x44, 0x55};
  BitManipulator copied(bytes, 5, true);
  copied.seek(13);
  copied.compact();
  EXPECT_EQ(copied.position(), 5);
  EXPECT_EQ(copied.remaining(), 27);
  copied.seek(0);
  EXPECT_EQ(copied.read(8), 0x22u);

  BitManipulator owned;
  const unsigned char first[] = {0xAB, 0xCD};
  owned.append(first, 2);
  EXPECT_EQ(owned.read(12), 0xABCu);
  std::vector<unsigned char> more(1000, 0x77);
  owned.append(more.data(), static_cast<int>(more.size()));
  // Byte 0 was dropped; the position keeps its offset within byte 1.
  EXPECT_EQ(owned.position(), 4);
  EXPECT_EQ(owned.read(12), 0xD77u);
  EXPECT_EQ(owned.remaining(), 8 * 1000 - 8);

  unsigned char block[4] = {0x01, 0x02, 0xEE, 0xEE};
  BitManipulator borrowed(block, 2, false, 4);
  borrowed.append(bytes + 2, 2);
  EXPECT_EQ(borrowed.read(32), 0x01023344u);
}

TEST(BitManipulatorTest, MisuseFailsAnAssertion)
{
  const unsigned char bytes[] = {0x00, 0x00};
  BitManipulator bits(bytes, 2, false);
  EXPECT_DEATH(bits.read(33), "num <= 32");
  EXPECT_DEATH(bits.read(17), "remaining\\(\\) >= num");
  EXPECT_DEATH(bits.seek(17), "pos <= _length");
  EXPECT_DEATH(bits.skip(17), "num <= remaining\\(\\)");
  EXPECT_DEATH(bits.write(0, 17), "remaining\\(\\) >= num");
  EXPECT_DEATH(bits.append(bytes, 1), "_ownsData");
}
