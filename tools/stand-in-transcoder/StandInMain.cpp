// The stand-in transcoder takes the transcoder's place in tests. It accepts
// the transcoder's two command lines,
//   probe:  -i FILE
//   stream: [-ss SECONDS] -i FILE [output options] -
// and instead of reading FILE as a video runs it as a script, one command a
// line. Lines after "[probe]" run only for the probe, lines after "[stream]"
// only for a stream, lines before either for both. Empty lines and lines
// starting with '#' are skipped; "%ss%" becomes the start that "-ss" gave
// ("0" without it).
//
//   out TEXT, err TEXT     TEXT and a line end to standard output, error, in
//                          one write; "\n" in TEXT is a line end too
//   out-pattern N          the next N bytes of the pattern (StandIn.h)
//   out-file NAME          a file's bytes; NAME relative to the script's folder
//   touch NAME             an empty file NAME there: a mark a test can wait for
//   err-args               each argument as "[argument]" on a line of its own
//   interleave N BYTES     N rounds of BYTES pattern bytes and a "frame=K" line
//   chunk N                later output in writes of at most N bytes (4096)
//   delay MS               a pause after every such write (0)
//   sleep MS               one pause
//   stall                  waits for ever
//   exit CODE              ends at once
//
// The end of the script ends the program with 0. A FILE that cannot be read
// ends it with 1, an unknown command with 2, after a line on standard error.
#include "StandIn.h"

#include "Portability.h"
#include "StringUtil.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int EXIT_BAD_INPUT = 1;
const int EXIT_BAD_SCRIPT = 2;
const size_t FILE_CHUNK = 4096;
const size_t PATTERN_PIECE = 65536;

struct Invocation {
  bool probe = false;
  std::wstring input;
  std::string start = "0";
};

bool parseCommandLine(const std::vector<std::wstring>& args, Invocation& invocation)
{
  if (args.size() == 2 && args[0] == L"-i") {
    invocation.probe = true;
    invocation.input = args[1];
    return true;
  }
  if (args.empty() || args.back() != L"-")
    return false;
  for (size_t i = 0; i + 2 < args.size(); ++i) {
    if (args[i] == L"-ss")
      invocation.start = toUtf8(args[i + 1]);
    else if (args[i] == L"-i")
      invocation.input = args[i + 1];
  }
  return !invocation.input.empty();
}

unsigned long toNumber(const std::string& text)
{
  return strtoul(text.c_str(), nullptr, 10);
}

class ScriptRunner {
public:
  ScriptRunner(const Invocation& invocation, const std::vector<std::wstring>& args)
      : _invocation(invocation), _args(args)
  {
  }

  int run(const std::string& script)
  {
    std::vector<std::string> lines;
    split(script.c_str(), "\n", lines);
    bool active = true;
    for (const std::string& raw : lines) {
      std::string line = trim(raw);
      if (line.empty() || line[0] == '#')
        continue;
      if (line[0] == '[') {
        active = line == (_invocation.probe ? "[probe]" : "[stream]");
        continue;
      }
      if (!active)
        continue;
      int code = runLine(replaceAll(line, "%ss%", _invocation.start));
      if (code >= 0)
        return code;
    }
    return 0;
  }

private:
  // -1 to go on, else the exit code.
  int runLine(const std::string& line)
  {
    size_t blank = line.find(' ');
    std::string command = line.substr(0, blank);
    std::string argument = blank == std::string::npos ? std::string() : line.substr(blank + 1);

    if (command == "out")
      writeLine(_out, replaceAll(argument, "\\n", "\n"));
    else if (command == "err")
      writeLine(_err, replaceAll(argument, "\\n", "\n"));
    else if (command == "out-pattern")
      writePattern(toNumber(argument));
    else if (command == "out-file")
      return writeFile(argument) ? -1 : EXIT_BAD_INPUT;
    else if (command == "touch")
      return touch(argument) ? -1 : EXIT_BAD_INPUT;
    else if (command == "err-args")
      writeArgs();
    else if (command == "interleave")
      interleave(argument);
    else if (command == "chunk")
      _chunk = toNumber(argument) ? toNumber(argument) : 1;
    else if (command == "delay")
      _delayMs = toNumber(argument);
    else if (command == "sleep")
      Sleep(toNumber(argument));
    else if (command == "stall")
      Sleep(INFINITE);
    else if (command == "exit")
      return static_cast<int>(toNumber(argument));
    else {
      writeLine(_err, "stand-in transcoder: unknown command: " + command);
      return EXIT_BAD_SCRIPT;
    }
    return -1;
  }

  // A reader that has gone ends us, as it ends a transcoder.
  void write(HANDLE stream, const char* data, size_t length)
  {
    while (length > 0) {
      DWORD part = static_cast<DWORD>(length < _chunk ? length : _chunk);
      DWORD written = 0;
      if (!WriteFile(stream, data, part, &written, nullptr))
        ExitProcess(EXIT_BAD_INPUT);
      data += written;
      length -= written;
      if (_delayMs)
        Sleep(_delayMs);
    }
  }

  void writeLine(HANDLE stream, const std::string& text)
  {
    std::string line = text + "\n";
    write(stream, line.data(), line.size());
  }

  // In pieces, so that any count fits in memory.
  void writePattern(unsigned long count)
  {
    std::string bytes;
    while (count > 0) {
      bytes.resize(count < PATTERN_PIECE ? count : PATTERN_PIECE);
      for (char& byte : bytes)
        byte = static_cast<char>(standInPatternByte(_patternPos++));
      write(_out, bytes.data(), bytes.size());
      count -= static_cast<unsigned long>(bytes.size());
    }
  }

  bool writeFile(const std::string& name)
  {
    std::wstring path = joinPath(getDirectory(_invocation.input), toWide(name));
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) {
      writeLine(_err, name + ": No such file or directory");
      return false;
    }
    char buffer[FILE_CHUNK];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
      write(_out, buffer, got);
    fclose(file);
    return true;
  }

  bool touch(const std::string& name)
  {
    FILE* file = _wfopen(joinPath(getDirectory(_invocation.input), toWide(name)).c_str(), L"wb");
    if (file)
      fclose(file);
    return file != nullptr;
  }

  void writeArgs()
  {
    for (const std::wstring& arg : _args)
      writeLine(_err, "[" + toUtf8(arg) + "]");
  }

  void interleave(const std::string& argument)
  {
    size_t blank = argument.find(' ');
    unsigned long rounds = toNumber(argument.substr(0, blank));
    unsigned long bytes = blank == std::string::npos ? 0 : toNumber(argument.substr(blank + 1));
    for (unsigned long round = 1; round <= rounds; ++round) {
      writePattern(bytes);
      writeLine(_err, "frame=" + std::to_string(round));
    }
  }

  const Invocation& _invocation;
  const std::vector<std::wstring>& _args;
  const HANDLE _out = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE _err = GetStdHandle(STD_ERROR_HANDLE);
  unsigned long _chunk = 4096;
  DWORD _delayMs = 0;
  unsigned long long _patternPos = 0;
};

}

int wmain(int argc, wchar_t** argv)
{
  std::vector<std::wstring> args(argv + 1, argv + argc);
  Invocation invocation;
  if (!parseCommandLine(args, invocation)) {
    fprintf(stderr, "stand-in transcoder: not a probe or stream command line\n");
    return EXIT_BAD_INPUT;
  }
  std::string script;
  if (!readFile(invocation.input, script)) {
    fprintf(stderr, "%s: No such file or directory\n", toUtf8(invocation.input).c_str());
    return EXIT_BAD_INPUT;
  }
  return ScriptRunner(invocation, args).run(script);
}
