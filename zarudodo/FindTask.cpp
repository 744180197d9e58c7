#include "FindTask.h"

#include "Assert.h"
#include "FileDatabase.h"
#include "FileSystem.h"
#include "Log.h"
#include "Portability.h"
#include "StringUtil.h"

#include <map>

namespace {
const int LOG_KEY = LogRegisterKey("L_FindTask", true);
}

FindTask::FindTask(TaskObserver* observer) : Task<FindParams>(observer) {}

FindTask::~FindTask()
{
  abort();
}

void FindTask::runTask(FindParams params)
{
  ASSERT(params.database);
  LogPrintf(LOG_KEY, "Running findTask");
  std::map<std::wstring, std::wstring> seen;  // name -> the first path found
  // One walk for all folders: a folder reached from several is walked once.
  FileSystem::RecursiveFileEnumerator walk;
  for (const std::wstring& folder : params.folders) {
    LogPrintf(LOG_KEY, " Search for videos in: %s", Utf8FromWide(folder).get());
    walk.add(joinPath(folder, L"").c_str());
    while (walk.hasNext()) {
      FileSystem::File entry = walk.next();
      std::wstring name = entry.name();
      for (const std::wstring& pattern : params.patterns) {
        if (!endsWith(name, pattern))
          continue;
        std::wstring path = joinPath(entry.directory(), entry.pathName());
        if (seen.insert({name, path}).second)
          params.database->add(path, name);
      }
      if (_abortRequested) {
        LogPrintf(LOG_KEY, "Aborting file find as requested.");
        return;
      }
    }
  }
  params.database->removeMissing(seen);
  LogPrintf(LOG_KEY, "Done searching!\n");
}
