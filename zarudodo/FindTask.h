#pragma once

#include "Task.h"

#include <string>
#include <vector>

class FileDatabase;

struct FindParams {
  FileDatabase* database = nullptr;  // not owned
  std::vector<std::wstring> patterns;  // "." and an extension, case-sensitive
  std::vector<std::wstring> folders;
};

// Walks the folders and brings the database up to date: matching files are
// added under their bare names, and, when the walk was not aborted, entries
// not seen are removed.
class FindTask : public Task<FindParams> {
public:
  explicit FindTask(TaskObserver* observer);
  ~FindTask() override;

protected:
  void runTask(FindParams params) override;
};
