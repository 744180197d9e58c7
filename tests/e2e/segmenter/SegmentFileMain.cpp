// Cuts a transport stream file into segments the way a stream context does:
// segment n ends before the first keyframe at or past n segment lengths, and
// the file is fed in pieces of up to 4096 bytes of varying size, like pipe
// reads. Prints one line per segment: its file name and its byte count.
#include "Segmenter.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class FileSink : public Sink {
public:
  explicit FileSink(const std::string& path) : _file(fopen(path.c_str(), "wb")) {}
  ~FileSink() override
  {
    if (_file)
      fclose(_file);
  }

  void write(char* data, int length) override
  {
    if (_file && fwrite(data, 1, length, _file) != static_cast<size_t>(length))
      _failed = true;
    _bytes += length;
  }

  bool ok() const { return _file && !_failed; }
  long long bytes() const { return _bytes; }

private:
  FILE* _file;
  bool _failed = false;
  long long _bytes = 0;
};

// Pipe reads come in any size up to the pipe's buffer.
int nextPieceSize(unsigned& state)
{
  state = state * 1103515245u + 12345u;
  return (state >> 16) % 4 == 0 ? static_cast<int>(1 + (state >> 8) % Segmenter::MAX_WRITE)
                                 : Segmenter::MAX_WRITE;
}

}

int main(int argc, char** argv)
{
  if (argc < 3) {
    fprintf(stderr, "usage: segment-file INPUT.ts OUTPUT-FOLDER [SEGMENT-MS]\n");
    return 2;
  }
  FILE* input = fopen(argv[1], "rb");
  if (!input) {
    fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  int segmentMs = argc > 3 ? atoi(argv[3]) : 10000;

  Segmenter segmenter(nullptr);
  char piece[Segmenter::MAX_WRITE];
  unsigned sizeState = 1;
  bool more = true;
  for (int n = 1; more; ++n) {
    char name[32];
    snprintf(name, sizeof name, "segment-%03d.ts", n);
    FileSink out(std::string(argv[2]) + "/" + name);
    segmenter.setOutput(&out);
    segmenter.setTargetMs(n * segmentMs);
    segmenter.flush();
    while (more && !segmenter.isDone()) {
      size_t got = fread(piece, 1, nextPieceSize(sizeState), input);
      if (got == 0)
        more = false;
      else
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
