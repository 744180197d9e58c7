#pragma once

#include <cstdint>

// Reads and writes a byte buffer as a string of bits, most significant bit
// of each byte first, as MPEG bit syntax is written. Misuse (more than 32
// bits at once, moving past the end) is a programming error.
class BitManipulator {
public:
  BitManipulator();
  // Without copy the caller's bytes are used in place and must outlive the
  // reader; capacityBytes (at least lengthBytes) bounds what append may use.
  BitManipulator(const unsigned char* data, int lengthBytes, bool copy, int capacityBytes = 0);
  ~BitManipulator();
  BitManipulator(const BitManipulator&) = delete;
  BitManipulator& operator=(const BitManipulator&) = delete;

  int position() const { return _pos; }
  int remaining() const { return _length - _pos; }
  void seek(int pos);
  void skip(int num);

  uint32_t read(int num);
  uint32_t peek(int num);
  // Consumes the bits only when they equal value.
  bool match(uint32_t value, int num);
  // Compares without consuming.
  bool test(uint32_t value, int num);
  void write(uint32_t value, int num);

  // Drops the whole bytes already read.
  void compact();
  // Adds bytes after the last valid bit; an owned buffer grows as needed,
  // a borrowed one must have the room.
  void append(const unsigned char* bytes, int lengthBytes);

private:
  uint32_t readUpTo(int num);
  void reserve(int bytes);

  unsigned char* _data;
  int _length;    // valid bits
  int _pos;       // next bit to read or write
  bool _ownsData;
  int _capacity;  // bytes behind _data
};
