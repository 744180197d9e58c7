// Throughput of allocation and free through the tracked heap, next to the C
// library's allocator in the same run.
#include "DebugHeap.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

const int BATCH = 1000;
const int ROUNDS = 400;
const int THREADS = 4;

struct Sizes {
  size_t value[BATCH];
  Sizes()
  {
    unsigned seed = 12345;
    for (size_t& size : value) {
      seed = seed * 1103515245 + 12345;
      size = 16 + (seed >> 16) % 241;
    }
  }
};

const Sizes SIZES;

double seconds()
{
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

// Allocates a batch, touches each block, frees the batch; `rounds` times.
template <typename Allocate, typename Release>
void churn(int rounds, Allocate allocate, Release release)
{
  static thread_local char* blocks[BATCH];
  for (int round = 0; round < rounds; ++round) {
    for (int i = 0; i < BATCH; ++i) {
      blocks[i] = allocate(SIZES.value[i]);
      blocks[i][0] = static_cast<char>(i);
    }
    for (int i = 0; i < BATCH; ++i)
      release(blocks[i]);
  }
}

// Pairs of allocation and free per second, over `threads` threads at once.
template <typename Allocate, typename Release>
double pairsPerSecond(int threads, Allocate allocate, Release release)
{
  churn(ROUNDS / 10, allocate, release);  // warm the allocator up
  double start = seconds();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&] { churn(ROUNDS, allocate, release); });
  for (std::thread& worker : workers)
    worker.join();
  return static_cast<double>(threads) * ROUNDS * BATCH / (seconds() - start);
}

char* plainMalloc(size_t size) { return static_cast<char*>(malloc(size)); }
void plainFree(char* p) { free(p); }
char* trackedMalloc(size_t size) { return static_cast<char*>(DEBUG_MALLOC(size)); }
void trackedFree(char* p) { DEBUG_FREE(p); }
char* trackedNew(size_t size) { return new char[size]; }
void trackedDelete(char* p) { delete[] p; }

void report(const char* what, double rate, double plainRate)
{
  printf("  %-34s %8.2f M pairs/s   %5.2f times the plain time\n", what, rate / 1e6, plainRate / rate);
}

}

int main()
{
  printf("Allocation + free pairs, %d-block batches of 16-256 bytes, %d rounds per thread\n", BATCH, ROUNDS);
  double plain = pairsPerSecond(1, plainMalloc, plainFree);
  printf("  %-34s %8.2f M pairs/s\n", "C library malloc/free", plain / 1e6);
  report("tracked DEBUG_MALLOC/DEBUG_FREE", pairsPerSecond(1, trackedMalloc, trackedFree), plain);
  report("tracked new[]/delete[]", pairsPerSecond(1, trackedNew, trackedDelete), plain);

  double plainThreads = pairsPerSecond(THREADS, plainMalloc, plainFree);
  printf("  %-34s %8.2f M pairs/s\n", "4 threads: C library malloc/free", plainThreads / 1e6);
  report("4 threads: tracked malloc/free", pairsPerSecond(THREADS, trackedMalloc, trackedFree), plainThreads);
  report("4 threads: tracked new[]/delete[]", pairsPerSecond(THREADS, trackedNew, trackedDelete), plainThreads);
  return 0;
}
