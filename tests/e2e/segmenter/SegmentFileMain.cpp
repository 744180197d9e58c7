// Cuts a transport stream file into segments the way a stream context does:
// segment n ends before the first keyframe at or past n segment lengths, and
// the file is fed in pieces of up to 4096 bytes of varying size, like pipe
// reads. Prints one line per segment: its file name and its byte count.
#include "FileSink.h"
#include "Segmenter.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
  FILE* input = argc < 3 ? nullptr : fopen(argv[1], "rb");
  if (!input) {
    fprintf(stderr, "usage: segment-file INPUT.ts OUTPUT-FOLDER [SEGMENT-MS]\n");
    return 2;
  }
  int segmentMs = argc > 3 ? atoi(argv[3]) : 10000;
  Segmenter segmenter(nullptr);
  char piece[Segmenter::MAX_WRITE];
  unsigned random = 1;
  bool more = true;
  for (int n = 1; more; ++n) {
    char name[32];
    snprintf(name, sizeof name, "segment-%03d.ts", n);
    FileSink out(std::string(argv[2]) + "/" + name);
    segmenter.setOutput(&out);
    segmenter.setTargetMs(n * segmentMs);
    segmenter.flush();
    while (more && !segmenter.isDone()) {
      // Pipe reads come in any size up to the pipe's buffer.
      random = random * 1103515245u + 12345u;
      size_t want = (random >> 16) % 4 == 0 ? 1 + (random >> 8) % Segmenter::MAX_WRITE : Segmenter::MAX_WRITE;
      size_t got = fread(piece, 1, want, input);
      if ((more = got > 0))
        segmenter.write(piece, static_cast<int>(got));
    }
    segmenter.setOutput(nullptr);
    if (!out.ok()) {
      fprintf(stderr, "cannot write %s\n", name);
      return 1;
    }
    printf("%s %lld\n", name, out.bytes());
  }
  fclose(input);
  return 0;
}
