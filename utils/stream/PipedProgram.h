#pragma once

#include <windows.h>

#include <string>
#include <vector>

class Sink;

// The pipes' size and the largest read: a transcoder writes its stream in
// blocks of tens of kilobytes, and each read is a round trip through Wine's
// server, so a segment should take a few reads, not hundreds.
const DWORD PIPE_READ_SIZE = 65536;

// The state of reading one of the child's output pipes. A reader whose read
// cannot be ended where it is given up is left to that read's completion
// routine, which frees it: the system may write into its buffer until then.
struct PipeReader {
  int id;                // 0 standard output, 1 standard error
  HANDLE pipe;           // our read end
  OVERLAPPED overlapped; // hEvent stays null: the reader is found from this member's address
  Sink* sink;            // may be null: the bytes are then dropped
  bool pending;          // a read is outstanding and its completion routine has not run
  bool done;             // the pipe cannot be read any more
  bool abandoned;        // given up by its program: the completion routine frees it
  DWORD thread;          // the thread that issued the outstanding read
  char buffer[PIPE_READ_SIZE];
};

// A child process whose standard output and error are read at the same time
// on the calling thread: overlapped reads complete inside its alertable wait.
class PipedProgram {
public:
  PipedProgram();
  ~PipedProgram();
  PipedProgram(const PipedProgram&) = delete;
  PipedProgram& operator=(const PipedProgram&) = delete;

  // args[0] is the executable, all UTF-8; true when the child runs.
  bool start(const std::vector<std::string>& args);
  // One round of reading both pipes: true when data (possibly none, at the
  // end of a pipe) was handed to the sinks; false when both pipes are closed
  // or timeoutMs passed without any completion.
  bool read(Sink* out, Sink* err, unsigned timeoutMs);
  // Ends the outstanding reads and hands what they got to their sinks.
  void flush();
  // Ends the child and releases everything; no sink is called afterwards.
  // Any thread may call it, whatever the reads were left in.
  void close();
  // True once the child's standard output has ended: all of it was read.
  bool outputEnded() const { return _readers[0]->done; }
  // Whether the child ended by itself with exit code 0: it did its work, and
  // did not crash or get ended. A child still running is given a moment.
  bool exitedCleanly();

  DWORD getProcessId() const { return _processInfo.dwProcessId; }

private:
  bool createPipes(SECURITY_ATTRIBUTES* attributes);
  bool createChild(const std::wstring& applicationName, std::vector<wchar_t>& commandLine);
  void closeChildEnds();
  void startRead(PipeReader& reader);
  void finishRead(PipeReader*& reader);
  void abandonRead(PipeReader*& reader);
  void endProcess();

  HANDLE _stdoutRead;
  HANDLE _stdoutWrite;
  HANDLE _stdinRead;
  HANDLE _stdinWrite;
  HANDLE _stderrRead;
  HANDLE _stderrWrite;
  PROCESS_INFORMATION _processInfo;
  PipeReader* _readers[2];  // owned, unless abandoned
};

// A pipe whose ends may be opened for overlapped I/O (unlike CreatePipe's);
// size 0 means PIPE_READ_SIZE.
bool createOverlappedPipe(HANDLE* readEnd, HANDLE* writeEnd, SECURITY_ATTRIBUTES* attributes, DWORD size,
                          DWORD readFlags, DWORD writeFlags);

// The executable's name and the whole command line for CreateProcessW;
// arguments holding a blank are put in double quotes.
void buildCommandLine(const std::vector<std::string>& args, std::wstring& applicationName,
                      std::wstring& commandLine);
