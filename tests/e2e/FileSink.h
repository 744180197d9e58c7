#pragma once

// Writes what a sink is given into a file, for the end-to-end tools.

#include "Sink.h"

#include <cstdio>
#include <string>

class FileSink : public Sink {
public:
  explicit FileSink(const std::string& path) : _file(fopen(path.c_str(), "wb")) {}
  ~FileSink() override
  {
    if (_file)
      fclose(_file);
  }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  void write(char* data, int length) override
  {
    if (_file)
      fwrite(data, 1, length, _file);
    _bytes += length;
  }

  long long bytes() const { return _bytes; }

private:
  FILE* _file;
  long long _bytes = 0;
};
