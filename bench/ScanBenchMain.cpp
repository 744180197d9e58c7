// Times the folder scan over a generated tree of 20,000 files in 2,000
// folders (40 top folders of 49 subfolders each, 10 files per folder, 5 of
// them with a video extension), first into an empty database, then again.
#include "FileDatabase.h"
#include "FindTask.h"
#include "Portability.h"
#include "TestFolder.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int TOP_FOLDERS = 40;
const int SUBFOLDERS = 49;
const int FILES_PER_FOLDER = 10;
const int RESCANS = 5;
const wchar_t* const EXTENSIONS[FILES_PER_FOLDER] = {L"avi", L"mp4", L"ts", L"m4v", L"divx", L"mkv", L"AVI",
                                                     L"txt", L"jpg", L"srt"};

void makeFiles(const std::wstring& folder, int folderIndex)
{
  CreateDirectoryW(folder.c_str(), nullptr);
  for (int i = 0; i < FILES_PER_FOLDER; ++i) {
    std::wstring name = L"Episode " + std::to_wstring(folderIndex) + L"-" + std::to_wstring(i) + L" \u00e9." +
                        EXTENSIONS[i];
    HANDLE file = CreateFileW(joinPath(folder, name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
  }
}

int makeTree(const std::wstring& root)
{
  CreateDirectoryW(root.c_str(), nullptr);
  int folders = 0;
  for (int t = 0; t < TOP_FOLDERS; ++t) {
    std::wstring top = joinPath(root, L"Series " + std::to_wstring(t));
    makeFiles(top, folders++);
    for (int s = 0; s < SUBFOLDERS; ++s)
      makeFiles(joinPath(top, L"Season " + std::to_wstring(s) + L" \u65e5"), folders++);
  }
  return folders;
}

double scanMs(FindTask& task, const FindParams& params)
{
  auto start = std::chrono::steady_clock::now();
  task.start(params);
  task.join();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

int countEntries(FileDatabase& database)
{
  std::string list = database.listJson();
  return list.empty() ? 0 : static_cast<int>(std::count(list.begin(), list.end(), ',')) + 1;
}

}

int main()
{
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring root = joinPath(temp, L"zv scan bench " + std::to_wstring(GetCurrentProcessId()));

  auto start = std::chrono::steady_clock::now();
  int folders = makeTree(root);
  double makeMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  printf("tree: %d files in %d folders, made in %.0f ms\n", folders * FILES_PER_FOLDER, folders, makeMs);

  FileDatabase database;
  FindParams params;
  params.database = &database;
  params.patterns = {L".avi", L".m4v", L".mp4", L".divx", L".ts"};
  params.folders = {root};
  FindTask task(nullptr);

  double first = scanMs(task, params);
  printf("first scan: %.0f ms, %d videos in the database\n", first, countEntries(database));
  std::vector<double> rescans;
  for (int i = 0; i < RESCANS; ++i)
    rescans.push_back(scanMs(task, params));
  std::sort(rescans.begin(), rescans.end());
  printf("rescan: median %.0f ms, fastest %.0f ms, slowest %.0f ms (%d runs)\n", rescans[RESCANS / 2], rescans[0],
         rescans[RESCANS - 1], RESCANS);
  printf("rescan speed: %.0f files/s\n", folders * FILES_PER_FOLDER * 1000.0 / rescans[RESCANS / 2]);

  removeTree(root);
  return 0;
}
