#pragma once

// PNG and JPEG files: the byte streams that the PNG routines read and write,
// and the largest picture a file may hold. The routines themselves are
// DibImage's load and save functions.

#include <cstddef>
#include <string>

// Bytes that the PNG routines read from or write to.
class ByteStream {
public:
  virtual ~ByteStream() {}
  // Each returns the number of whole items moved.
  virtual size_t read(void* buffer, size_t size, size_t count) = 0;
  virtual size_t write(const void* buffer, size_t size, size_t count) = 0;
};

// A stream over bytes in memory: reads start at the beginning, writes append.
class MemoryStream : public ByteStream {
public:
  MemoryStream() : _position(0) {}
  explicit MemoryStream(const std::string& bytes) : _bytes(bytes), _position(0) {}

  size_t read(void* buffer, size_t size, size_t count) override;
  size_t write(const void* buffer, size_t size, size_t count) override;
  const std::string& bytes() const { return _bytes; }

private:
  std::string _bytes;
  size_t _position;
};

// Larger pictures in a file are refused rather than allocated.
const int MAX_IMAGE_SIDE = 16384;
const long long MAX_IMAGE_PIXELS = 32LL * 1024 * 1024;
