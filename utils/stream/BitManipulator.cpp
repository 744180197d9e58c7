#include "BitManipulator.h"

#include "Assert.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

const int MAX_BYTES = INT_MAX / 8;

}

BitManipulator::BitManipulator()
    : _data(nullptr), _length(0), _pos(0), _ownsData(false), _capacity(0)
{
}

BitManipulator::BitManipulator(const unsigned char* data, int lengthBytes, bool copy, int capacityBytes)
    : _data(nullptr), _length(0), _pos(0), _ownsData(copy), _capacity(0)
{
  ASSERT(lengthBytes >= 0 && lengthBytes <= MAX_BYTES);
  _length = 8 * lengthBytes;
  if (copy) {
    _capacity = lengthBytes;
    _data = new unsigned char[_capacity];
    if (lengthBytes)
      memcpy(_data, data, lengthBytes);
  } else {
    _capacity = std::max(lengthBytes, capacityBytes);
    _data = const_cast<unsigned char*>(data);
  }
}

BitManipulator::~BitManipulator()
{
  if (_ownsData)
    delete[] _data;
}

void BitManipulator::seek(int pos)
{
  ASSERT(pos >= 0);
  ASSERT(pos <= _length);
  _pos = pos;
}

void BitManipulator::skip(int num)
{
  ASSERT(num >= -_pos);
  ASSERT(num <= remaining());
  _pos += num;
}

// Takes the bits a byte at a time; only the bits that lie before _length
// add to the value.
uint32_t BitManipulator::readUpTo(int num)
{
  int available = std::min(num, remaining());
  uint32_t value = 0;
  while (available > 0) {
    int inByte = 8 - (_pos & 7);
    int take = std::min(inByte, available);
    unsigned bits = (_data[_pos >> 3] >> (inByte - take)) & ((1u << take) - 1);
    value = (value << take) | bits;
    _pos += take;
    available -= take;
  }
  return value;
}

uint32_t BitManipulator::read(int num)
{
  ASSERT(num <= 32);
  ASSERT(remaining() >= num);
  return readUpTo(num);
}

uint32_t BitManipulator::peek(int num)
{
  int start = _pos;
  uint32_t value = read(num);
  _pos = start;
  return value;
}

bool BitManipulator::match(uint32_t value, int num)
{
  ASSERT(num <= 32);
  int start = _pos;
  if (readUpTo(num) == value)
    return true;
  _pos = start;
  return false;
}

bool BitManipulator::test(uint32_t value, int num)
{
  int start = _pos;
  bool equal = match(value, num);
  _pos = start;
  return equal;
}

void BitManipulator::write(uint32_t value, int num)
{
  ASSERT(num <= 32);
  ASSERT(remaining() >= num);
  for (int bit = num - 1; bit >= 0; --bit, ++_pos) {
    unsigned char mask = 0x80 >> (_pos & 7);
    if ((value >> bit) & 1)
      _data[_pos >> 3] |= mask;
    else
      _data[_pos >> 3] &= ~mask;
  }
}

void BitManipulator::compact()
{
  int dropBytes = _pos / 8;
  if (dropBytes == 0)
    return;
  int keepBytes = (_length + 7) / 8 - dropBytes;
  memmove(_data, _data + dropBytes, keepBytes);
  _pos -= 8 * dropBytes;
  _length -= 8 * dropBytes;
}

void BitManipulator::reserve(int bytes)
{
  if (bytes <= _capacity)
    return;
  ASSERT(_ownsData || !_data);
  int capacity = std::max(bytes, std::min(2 * _capacity, MAX_BYTES));
  unsigned char* grown = new unsigned char[capacity];
  if (_data)
    memcpy(grown, _data, (_length + 7) / 8);
  if (_ownsData)
    delete[] _data;
  _data = grown;
  _ownsData = true;
  _capacity = capacity;
}

void BitManipulator::append(const unsigned char* bytes, int lengthBytes)
{
  ASSERT(lengthBytes >= 0);
  compact();
  int at = _length / 8;
  ASSERT(lengthBytes <= MAX_BYTES - at);
  reserve(at + lengthBytes);
  memcpy(_data + at, bytes, lengthBytes);
  _length = 8 * (at + lengthBytes);
}
