#include "Portability.h"

#include "Assert.h"
#include "Log.h"
#include "StringUtil.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <shlobj.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

const int LOG_KEY = LogRegisterKey("D_Portability", false);

const int SPECIAL_FOLDER_IDS[] = {CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_APPDATA};
const DWORD TEMP_FOLDER_SIZE = 1040;
// Names taken by leftovers of earlier saves are passed over, up to this many.
const int TEMPORARY_ATTEMPTS = 100;

void makeInheritable(DWORD standardHandle)
{
  SetHandleInformation(GetStdHandle(standardHandle), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}

// A temporary file beside path for one write alone: a name of this process
// and write, created anew and shared with nobody, so that two programs
// saving the same file at once never write into one temporary.
FILE* createTemporary(const std::wstring& path, std::wstring& temporary)
{
  static std::atomic<unsigned> writes{0};
  for (int attempt = 0; attempt < TEMPORARY_ATTEMPTS; ++attempt) {
    temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(writes++) + L".new";
    int fd = _wsopen(temporary.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYRW, _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      FILE* file = _wfdopen(fd, L"wb");
      if (!file) {
        _close(fd);
        _wremove(temporary.c_str());
      }
      return file;
    }
    if (errno != EEXIST)
      return nullptr;
  }
  return nullptr;
}

bool writeWhole(FILE* file, const std::string& bytes)
{
  return fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && fflush(file) == 0 &&
         _commit(_fileno(file)) == 0;
}

}

bool getShellFolder(int csidl, std::wstring& out)
{
  out.clear();
  LPITEMIDLIST item = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &item)))
    return false;
  wchar_t path[MAX_PATH] = L"";
  // Virtual folders (the printers, the control panel) have no path.
  bool converted = SHGetPathFromIDListW(item, path);
  CoTaskMemFree(item);
  if (!converted)
    return false;
  out = path;
  // Wine reports folders that are links to the home folder with a trailing
  // backslash; a drive root keeps its own.
  if (out.size() > 3 && out.back() == L'\\')
    out.pop_back();
  return true;
}

bool getSpecialFolder(int kind, std::wstring& out)
{
  ASSERT(kind >= FOLDER_PROFILE && kind <= FOLDER_APPDATA);
  return getShellFolder(SPECIAL_FOLDER_IDS[kind], out);
}

std::wstring getAppDataPath(const std::wstring& name)
{
  std::wstring folder;
  if (!getSpecialFolder(FOLDER_APPDATA, folder))
    return L".";
  return folder + L'\\' + name;
}

std::wstring getProgramFilesFolder()
{
  std::wstring folder;
  getShellFolder(CSIDL_PROGRAM_FILES, folder);
  return folder;
}

bool fileExists(const wchar_t* path)
{
  FILE* file = _wfopen(path, L"r");
  if (!file)
    return false;
  fclose(file);
  return true;
}

bool replaceFile(const std::wstring& path, const std::string& bytes)
{
  std::wstring temporary;
  FILE* file = createTemporary(path, temporary);
  if (!file)
    return false;
  bool written = writeWhole(file, bytes);
  written = fclose(file) == 0 && written;
  if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  _wremove(temporary.c_str());
  return false;
}

bool makeTempFileName(wchar_t* out)
{
  wchar_t folder[TEMP_FOLDER_SIZE];
  DWORD length = GetTempPathW(TEMP_FOLDER_SIZE, folder);
  if (length == 0 || length >= TEMP_FOLDER_SIZE)
    return false;
  return GetTempFileNameW(folder, L"msc", 0, out) != 0;
}

// The wide query: the C library's narrow one would read a UTF-8 path in the
// ANSI code page and miss every file with a non-ASCII name.
FileStat::FileStat(const wchar_t* path) : _stat64(), exists(_wstat64(path, this) == 0) {}

void joinCommandLine(const std::vector<std::wstring>& args, std::wstring& program, std::wstring& commandLine)
{
  ASSERT(!args.empty());
  program += args[0];
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0)
      commandLine += L' ';
    if (args[i].find(L' ') == std::wstring::npos)
      commandLine += args[i];
    else
      commandLine += L'"' + args[i] + L'"';
  }
}

HANDLE runProcess(const std::vector<std::wstring>& args)
{
  PROCESS_INFORMATION process = {};
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  makeInheritable(STD_OUTPUT_HANDLE);
  makeInheritable(STD_ERROR_HANDLE);

  std::wstring program;
  std::wstring commandLine;
  joinCommandLine(args, program, commandLine);
  LogPrintf(LOG_KEY, "CreateProcess(%s, %s)", toUtf8(program).c_str(), toUtf8(commandLine).c_str());

  // CreateProcessW may write into its command line.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  if (!CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, TRUE, CHILD_CREATION_FLAGS, nullptr,
                      nullptr, &startup, &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

HANDLE runProcess(const wchar_t* const* args)
{
  std::vector<std::wstring> list;
  for (; *args; ++args)
    list.emplace_back(*args);
  return runProcess(list);
}

void killProcess(HANDLE process)
{
  TerminateProcess(process, static_cast<UINT>(-1));
  CloseHandle(process);
}

std::wstring formatSystemMessage(unsigned code)
{
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || !text)
    return L"Error retrieving error";
  std::wstring message(text, length);
  LocalFree(text);
  // The system ends its texts with a line end, which log lines do not want.
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
    message.pop_back();
  return message;
}

std::wstring getLastErrorText()
{
  return formatSystemMessage(GetLastError());
}

FolderReader::FolderReader() = default;

FolderReader::FolderReader(const std::wstring& folder)
{
  open(folder);
}

FolderReader::~FolderReader()
{
  close();
}

bool FolderReader::open(const std::wstring& folder)
{
  close();
  _search = FindFirstFileW(joinPath(folder, L"*").c_str(), &_data);
  return _search != INVALID_HANDLE_VALUE;
}

bool FolderReader::next(std::wstring& name)
{
  if (_search == INVALID_HANDLE_VALUE)
    return false;
  name = _data.cFileName;
  if (!FindNextFileW(_search, &_data))
    close();
  return true;
}

void FolderReader::close()
{
  if (_search == INVALID_HANDLE_VALUE)
    return;
  FindClose(_search);
  _search = INVALID_HANDLE_VALUE;
}
