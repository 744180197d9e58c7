// Drives the duration probe and a stream context the way the video handler
// does, with the ffmpeg.exe of the working directory, for a Linux script to
// check what they give. The video is first copied to a name with blanks and
// non-ASCII letters beside it, which only its short path brings through.
//
//   stream-check probe VIDEO
//       prints "short-path PATH" and "duration MILLISECONDS"
//   stream-check stream VIDEO START-MS COUNT
//       up to COUNT segments from START-MS into segment-N.ts, a line
//       "NAME BYTES complete|ended" each; between segments "paused MS of
//       TOTAL-MS", the transcoder's CPU time while nobody reads it and in
//       all; at the end "transcoder ended" once the context is gone
// Log lines go to standard error.
#include "Encoder.h"
#include "Log.h"
#include "Portability.h"
#include "Sink.h"
#include "StreamContext.h"
#include "StringUtil.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const int SEGMENT_MS = 10000;
const DWORD IDLE_MS = 2000;
const wchar_t ODD_NAME[] = L"vid\u00e9o d'\u00e9t\u00e9 \u4e2d.mp4";

class FileSink : public Sink {
public:
  explicit FileSink(const char* path) : _file(fopen(path, "wb")) {}
  ~FileSink() override { fclose(_file); }
  void write(char* data, int length) override { _bytes += fwrite(data, 1, length, _file); }
  long long bytes() const { return _bytes; }

private:
  FILE* _file;
  long long _bytes = 0;
};

void printLogLine(const char* key, const char* text)
{
  fprintf(stderr, "%s: %s\n", key, text);
}

std::wstring copyToOddName(const char* video)
{
  std::wstring source = toWide(video);
  std::wstring copy = joinPath(getDirectory(source), ODD_NAME);
  if (!CopyFileW(source.c_str(), copy.c_str(), FALSE)) {
    fprintf(stderr, "cannot copy %s\n", video);
    exit(1);
  }
  return copy;
}

int probe(const char* video)
{
  std::wstring path = copyToOddName(video);
  printf("short-path %s\n", toUtf8(shortPath(path)).c_str());
  int milliseconds = 0;
  if (!getDuration("ffmpeg.exe", path, &milliseconds))
    return 1;
  printf("duration %d\n", milliseconds);
  return 0;
}

// The transcoder is our only child.
HANDLE openTranscoder()
{
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  DWORD id = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !id; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == GetCurrentProcessId())
      id = entry.th32ProcessID;
  }
  CloseHandle(snapshot);
  return id ? OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, id) : nullptr;
}

// The sum over the process's threads: Wine reports no CPU time for another
// process as a whole, but does for each of its threads.
long long cpuMilliseconds(DWORD processId)
{
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  ULONGLONG total = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != processId)
      continue;
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    FILETIME created, exited, kernel, user;
    if (thread && GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
      total += ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart;
      total += ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart;
    }
    if (thread)
      CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return static_cast<long long>(total / 10000);
}

int stream(const char* video, unsigned startMs, int count)
{
  std::wstring path = copyToOddName(video);
  StreamContext* context = new StreamContext;
  if (!context->start(path, startMs)) {
    delete context;
    return 1;
  }
  HANDLE transcoder = openTranscoder();
  if (!transcoder) {
    fprintf(stderr, "cannot find the transcoder\n");
    return 1;
  }
  for (int n = 1; n <= count; ++n) {
    char name[32];
    snprintf(name, sizeof name, "segment-%d.ts", n);
    FileSink out(name);
    bool complete = context->stream(&out, context->getTime() + SEGMENT_MS) == StreamContext::SEGMENT_COMPLETE;
    printf("%s %lld %s\n", name, out.bytes(), complete ? "complete" : "ended");
    fflush(stdout);
    if (!complete)
      break;
    if (n < count) {
      long long before = cpuMilliseconds(GetProcessId(transcoder));
      Sleep(IDLE_MS);
      long long after = cpuMilliseconds(GetProcessId(transcoder));
      printf("paused %lld of %lld\n", after - before, after);
    }
  }
  delete context;
  if (WaitForSingleObject(transcoder, 0) == WAIT_OBJECT_0)
    printf("transcoder ended\n");
  CloseHandle(transcoder);
  return 0;
}

}

int main(int argc, char** argv)
{
  LogSetSink(printLogLine);
  if (argc == 3 && std::string(argv[1]) == "probe")
    return probe(argv[2]);
  if (argc == 5 && std::string(argv[1]) == "stream")
    return stream(argv[2], strtoul(argv[3], nullptr, 10), atoi(argv[4]));
  fprintf(stderr, "usage: stream-check probe VIDEO | stream VIDEO START-MS COUNT\n");
  return 2;
}
