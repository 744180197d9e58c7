#pragma once

#include "Paths.h"

#include <windows.h>

#include <sys/stat.h>

#include <string>
#include <vector>

// Special folders, files, processes and folder listings on wide strings:
// UTF-16 paths with backslash separators.

// Kinds for getSpecialFolder.
const int FOLDER_PROFILE = 0;
const int FOLDER_DESKTOP = 1;
const int FOLDER_DOCUMENTS = 2;
const int FOLDER_APPDATA = 3;

// False when the shell does not know the folder or it has no file-system path.
bool getShellFolder(int csidl, std::wstring& out);
bool getSpecialFolder(int kind, std::wstring& out);
// "." when the application-data folder cannot be found.
std::wstring getAppDataPath(const std::wstring& name);
std::wstring getProgramFilesFolder();
bool fileExists(const wchar_t* path);
// Writes the bytes to a temporary file of this write's own beside path,
// checking every write and the close, then puts it in path's place: a
// failure at any step (a full disk, say) leaves the old file as it was, and
// of writes that meet, the file ends up holding one whole.
bool replaceFile(const std::wstring& path, const std::string& bytes);
// Creates an empty, uniquely named file in the temporary folder; out holds
// at least MAX_PATH characters.
bool makeTempFileName(wchar_t* out);

// The file's status record, then whether the query succeeded.
struct FileStat : _stat64 {
  explicit FileStat(const wchar_t* path);
  long long size() const { return st_size; }

  bool exists;
};

// program gets the first argument appended, commandLine all of them, those
// holding a space in double quotes.
void joinCommandLine(const std::vector<std::wstring>& args, std::wstring& program, std::wstring& commandLine);
// Children we start get no console at all, only the standard handles we give
// them. A console of their own would mean a console host process, which
// Wine leaves running for ever when the child is ended while it starts up.
const DWORD CHILD_CREATION_FLAGS = DETACHED_PROCESS;

// The child shares our standard handles and has no console; null on failure.
HANDLE runProcess(const std::vector<std::wstring>& args);
HANDLE runProcess(const wchar_t* const* args);  // null-terminated
void killProcess(HANDLE process);

std::wstring formatSystemMessage(unsigned code);
std::wstring getLastErrorText();

// Lists a folder's entries, "." and ".." included, one per next().
class FolderReader {
public:
  FolderReader();
  explicit FolderReader(const std::wstring& folder);
  virtual ~FolderReader();
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;

  bool open(const std::wstring& folder);
  bool next(std::wstring& name);
  void close();

private:
  HANDLE _search = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW _data;
};
