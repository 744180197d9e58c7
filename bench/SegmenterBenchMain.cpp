// Pushes a transport stream through the segmenter in writes of MAX_WRITE bytes, cut
// into 10-second segments as a stream context does, and sets its speed
// beside a plain memcpy of the same data in the same pieces.
#include "Segmenter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class CountingSink : public Sink {
public:
  void write(char*, int length) override { _bytes += length; }
  long long _bytes = 0;
};

bool readFile(const char* path, std::vector<char>& data)
{
  FILE* file = fopen(path, "rb");
  if (!file)
    return false;
  char block[65536];
  size_t got;
  while ((got = fread(block, 1, sizeof block, file)) > 0)
    data.insert(data.end(), block, block + got);
  fclose(file);
  return true;
}

int pieceAt(const std::vector<char>& data, size_t at)
{
  return static_cast<int>(std::min<size_t>(Segmenter::MAX_WRITE, data.size() - at));
}

// Returns the number of segments.
int segmentPass(std::vector<char>& data, long long& passedBytes)
{
  CountingSink out;
  Segmenter segmenter(&out);
  int segments = 1;
  segmenter.setTargetMs(10000);
  for (size_t at = 0; at < data.size(); at += Segmenter::MAX_WRITE) {
    while (segmenter.isDone()) {
      ++segments;
      segmenter.setTargetMs(segments * 10000);
      segmenter.flush();
    }
    segmenter.write(&data[at], pieceAt(data, at));
  }
  passedBytes = out._bytes;
  return segments;
}

unsigned copyPass(const std::vector<char>& data)
{
  static char buffer[Segmenter::BUFFER_SIZE];
  unsigned sum = 0;
  for (size_t at = 0; at < data.size(); at += Segmenter::MAX_WRITE) {
    int piece = pieceAt(data, at);
    memcpy(buffer, &data[at], piece);
    sum += static_cast<unsigned char>(buffer[piece - 1]);
  }
  return sum;
}

template <typename F>
double bestSeconds(int passes, F pass)
{
  double best = 1e30;
  for (int i = 0; i < passes; ++i) {
    auto start = std::chrono::steady_clock::now();
    pass();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

}

int main(int argc, char** argv)
{
  if (argc < 2) {
    fprintf(stderr, "usage: segmenter-bench STREAM.ts [PASSES]\n");
    return 2;
  }
  std::vector<char> data;
  if (!readFile(argv[1], data) || data.empty()) {
    fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  int passes = argc > 2 ? std::max(1, atoi(argv[2])) : 20;

  long long passed = 0;
  int segments = 0;
  unsigned sum = 0;
  double segmenterSeconds = bestSeconds(passes, [&] { segments = segmentPass(data, passed); });
  double copySeconds = bestSeconds(passes, [&] { sum += copyPass(data); });

  double megabytes = data.size() / 1e6;
  printf("stream: %.1f MB, %d segments, %lld bytes passed on (%u)\n", megabytes, segments, passed, sum & 1);
  printf("memcpy:    %8.0f MB/s\n", megabytes / copySeconds);
  printf("segmenter: %8.0f MB/s\n", megabytes / segmenterSeconds);
  printf("segmenter / memcpy: %.3f\n", copySeconds / segmenterSeconds);
  return 0;
}
