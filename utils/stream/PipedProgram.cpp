#include "PipedProgram.h"

#include "Assert.h"
#include "Debug.h"
#include "Portability.h"
#include "Sink.h"
#include "StringUtil.h"

#include <atomic>
#include <cstddef>
#include <cwchar>

namespace {

const unsigned short DEBUG_PIPES = 100;
const DWORD PIPE_DEFAULT_TIMEOUT_MS = 120000;
// Bounds the waits of close: a cancelled read completes at once, and a
// terminated child is gone within moments.
const DWORD CANCEL_WAIT_MS = 10000;
const DWORD CHILD_EXIT_WAIT_MS = 5000;

void closeHandle(HANDLE& handle)
{
  if (handle == INVALID_HANDLE_VALUE)
    return;
  CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
}

// Runs on the reading thread, inside its alertable wait.
void CALLBACK readCompleted(DWORD, DWORD count, OVERLAPPED* overlapped)
{
  PipeReader* reader =
      reinterpret_cast<PipeReader*>(reinterpret_cast<char*>(overlapped) - offsetof(PipeReader, overlapped));
  reader->pending = false;
  if (reader->abandoned)
    delete reader;
  else if (reader->sink)
    reader->sink->write(reader->buffer, count);
}

}

PipedProgram::PipedProgram()
    : _stdoutRead(INVALID_HANDLE_VALUE), _stdoutWrite(INVALID_HANDLE_VALUE), _stdinRead(INVALID_HANDLE_VALUE),
      _stdinWrite(INVALID_HANDLE_VALUE), _stderrRead(INVALID_HANDLE_VALUE), _stderrWrite(INVALID_HANDLE_VALUE),
      _processInfo(), _readers{new PipeReader(), new PipeReader()}
{
}

PipedProgram::~PipedProgram()
{
  close();
  for (PipeReader* reader : _readers)
    delete reader;
}

bool PipedProgram::start(const std::vector<std::string>& args)
{
  close();
  std::wstring applicationName;
  std::wstring commandLine;
  buildCommandLine(args, applicationName, commandLine);
  // CreateProcessW may write into its command line.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');

  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, TRUE};
  bool started = createPipes(&attributes) && createChild(applicationName, writable);
  // Once the child holds its ends, ours must go, or the pipes would not
  // break when it ends.
  closeChildEnds();
  if (!started)
    return false;

  _readers[0]->id = 0;
  _readers[0]->pipe = _stdoutRead;
  _readers[1]->id = 1;
  _readers[1]->pipe = _stderrRead;
  return true;
}

// The child inherits its three pipe ends and nothing else: not the listening
// socket, not other clients' connections, nor the pipes of another child
// started at the same moment, which it would keep from breaking.
bool PipedProgram::createChild(const std::wstring& applicationName, std::vector<wchar_t>& commandLine)
{
  HANDLE inherited[] = {_stdinRead, _stdoutWrite, _stderrWrite};
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> list(size);
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = _stdinRead;
  startup.StartupInfo.hStdOutput = _stdoutWrite;
  startup.StartupInfo.hStdError = _stderrWrite;
  startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
  if (!InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size)) {
    debugPrint(DEBUG_PIPES, "InitializeProcThreadAttributeList failed: %d", static_cast<int>(GetLastError()));
    return false;
  }
  bool started = UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                           sizeof inherited, nullptr, nullptr);
  if (started) {
    debugPrint(DEBUG_PIPES, "Executing: %s", Utf8FromWide(commandLine.data()).get());
    started = CreateProcessW(applicationName.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                             CHILD_CREATION_FLAGS | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                             &startup.StartupInfo, &_processInfo);
  }
  if (!started)
    debugPrint(DEBUG_PIPES, "CreateProcess failed: %d", static_cast<int>(GetLastError()));
  DeleteProcThreadAttributeList(startup.lpAttributeList);
  return started;
}

bool PipedProgram::createPipes(SECURITY_ATTRIBUTES* attributes)
{
  if (!createOverlappedPipe(&_stdoutRead, &_stdoutWrite, attributes, 0, FILE_FLAG_OVERLAPPED, 0)) {
    debugPrint(DEBUG_PIPES, "StdoutRd CreatePipe failed.\n");
    return false;
  }
  if (!SetHandleInformation(_stdoutRead, HANDLE_FLAG_INHERIT, 0)) {
    debugPrint(DEBUG_PIPES, "Stdout SetHandleInformation failed.\n");
    return false;
  }
  if (!CreatePipe(&_stdinRead, &_stdinWrite, attributes, 0)) {
    debugPrint(DEBUG_PIPES, "Stdin CreatePipe");
    return false;
  }
  if (!SetHandleInformation(_stdinWrite, HANDLE_FLAG_INHERIT, 0)) {
    debugPrint(DEBUG_PIPES, "Stdin SetHandleInformation\n");
    return false;
  }
  if (!createOverlappedPipe(&_stderrRead, &_stderrWrite, attributes, 0, FILE_FLAG_OVERLAPPED, 0)) {
    debugPrint(DEBUG_PIPES, "StderrRd CreatePipe failed.\n");
    return false;
  }
  if (!SetHandleInformation(_stderrRead, HANDLE_FLAG_INHERIT, 0)) {
    debugPrint(DEBUG_PIPES, "Stderr SetHandleInformation failed.\n");
    return false;
  }
  return true;
}

// The child's input pipe never delivers data: we keep its write end open
// and never write to it.
void PipedProgram::closeChildEnds()
{
  closeHandle(_stdoutWrite);
  closeHandle(_stderrWrite);
  closeHandle(_stdinRead);
}

bool PipedProgram::read(Sink* out, Sink* err, unsigned timeoutMs)
{
  _readers[0]->sink = out;
  _readers[1]->sink = err;
  bool reading = false;
  for (PipeReader* reader : _readers) {
    if (!reader->pending && !reader->done)
      startRead(*reader);
    // A read left outstanding by a time-out is waited for again, so a
    // stalled child's pipes stay readable.
    ASSERT(!reader->pending || reader->thread == GetCurrentThreadId());
    reading = reading || reader->pending;
  }
  if (!reading)
    return false;
  if (SleepEx(timeoutMs, TRUE) == WAIT_IO_COMPLETION)
    return true;
  debugPrint(DEBUG_PIPES, "Timed out reading from pipe.");
  return false;
}

void PipedProgram::startRead(PipeReader& reader)
{
  reader.overlapped = OVERLAPPED();
  if (ReadFileEx(reader.pipe, reader.buffer, PIPE_READ_SIZE, &reader.overlapped, readCompleted) ||
      GetLastError() == ERROR_IO_PENDING) {
    reader.pending = true;
    reader.thread = GetCurrentThreadId();
    return;
  }
  debugPrint(DEBUG_PIPES, "Done reading from pipe %d err=%d", reader.id, static_cast<int>(GetLastError()));
  reader.done = true;
}

void PipedProgram::flush()
{
  for (PipeReader*& reader : _readers) {
    if (!reader->pending)
      continue;
    debugPrint(DEBUG_PIPES, "CancelIo on pipe %d", reader->id);
    finishRead(reader);
    debugPrint(DEBUG_PIPES, "   FLUSH pipe %d", reader->id);
  }
}

// The read may have completed already, its completion routine still queued;
// either way that routine is what hands on the bytes, once and only once, so
// we wait for it rather than for the read. It runs only on the thread that
// started the read: elsewhere, or when it does not come in time, the read is
// given up, so that it never outlives this call.
void PipedProgram::finishRead(PipeReader*& reader)
{
  CancelIoEx(reader->pipe, &reader->overlapped);
  if (reader->thread == GetCurrentThreadId()) {
    for (DWORD waited = 0; reader->pending && waited < CANCEL_WAIT_MS; waited += 100)
      SleepEx(100, TRUE);
  }
  if (reader->pending)
    abandonRead(reader);
}

// The pipe counts as ended from now on: what the read gets is lost.
void PipedProgram::abandonRead(PipeReader*& reader)
{
  debugPrint(DEBUG_PIPES, "Read on pipe %d left to its completion", reader->id);
  PipeReader* replacement = new PipeReader();
  replacement->id = reader->id;
  replacement->pipe = reader->pipe;
  replacement->done = true;
  reader->sink = nullptr;
  reader->abandoned = true;
  reader = replacement;
}

void PipedProgram::close()
{
  for (PipeReader*& reader : _readers) {
    reader->sink = nullptr;
    if (reader->pending)
      finishRead(reader);
  }
  closeHandle(_stdoutRead);
  closeHandle(_stdoutWrite);
  closeHandle(_stdinRead);
  closeHandle(_stdinWrite);
  closeHandle(_stderrRead);
  closeHandle(_stderrWrite);
  endProcess();
  for (PipeReader* reader : _readers)
    *reader = PipeReader();
}

bool PipedProgram::exitedCleanly()
{
  DWORD code;
  return _processInfo.hProcess && WaitForSingleObject(_processInfo.hProcess, CHILD_EXIT_WAIT_MS) == WAIT_OBJECT_0 &&
         GetExitCodeProcess(_processInfo.hProcess, &code) && code == 0;
}

void PipedProgram::endProcess()
{
  if (_processInfo.hThread)
    CloseHandle(_processInfo.hThread);
  if (_processInfo.hProcess) {
    TerminateProcess(_processInfo.hProcess, 0xFFFFFFFF);
    // Termination is asynchronous; the child must not outlive us holding the video open.
    WaitForSingleObject(_processInfo.hProcess, CHILD_EXIT_WAIT_MS);
    CloseHandle(_processInfo.hProcess);
  }
  _processInfo = PROCESS_INFORMATION();
}

bool createOverlappedPipe(HANDLE* readEnd, HANDLE* writeEnd, SECURITY_ATTRIBUTES* attributes, DWORD size,
                          DWORD readFlags, DWORD writeFlags)
{
  if ((readFlags | writeFlags) & ~static_cast<DWORD>(FILE_FLAG_OVERLAPPED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (size == 0)
    size = PIPE_READ_SIZE;

  // Request threads make pipes at the same time; each needs its own name.
  static std::atomic<unsigned> serial{0};
  wchar_t name[64];
  swprintf(name, sizeof name / sizeof name[0], L"\\\\.\\Pipe\\RemoteExeAnon.%08x.%08x",
           static_cast<unsigned>(GetCurrentProcessId()), serial++);

  // Only our child may write: no client from another machine.
  HANDLE pipe = CreateNamedPipeW(name, PIPE_ACCESS_INBOUND | readFlags,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                 size, size, PIPE_DEFAULT_TIMEOUT_MS, attributes);
  if (pipe == INVALID_HANDLE_VALUE)
    return false;
  HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, attributes, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | writeFlags,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    CloseHandle(pipe);
    SetLastError(error);
    return false;
  }
  *readEnd = pipe;
  *writeEnd = file;
  return true;
}

void buildCommandLine(const std::vector<std::string>& args, std::wstring& applicationName, std::wstring& commandLine)
{
  applicationName.clear();
  commandLine.clear();
  ASSERT(!args.empty());
  std::vector<std::wstring> wide;
  for (const std::string& arg : args)
    wide.push_back(toWide(arg));
  joinCommandLine(wide, applicationName, commandLine);
}
