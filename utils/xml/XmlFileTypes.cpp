#include "XmlApplication.h"

#include "XmlApplicationInternal.h"

// ---------------------------------------------------------------- file types

void XmlApplication::buildInstall(const CTag& tag)
{
  for (const CTag* child : tag.children) {
    if (child->name == L"filetype")
      buildFileType(*child);
  }
}

void XmlApplication::buildFileType(const CTag& tag)
{
  FileType fileType{attribute(tag, L"extension"), attribute(tag, L"description"), {}};
  if (fileType.extension.empty() || fileType.description.empty()) {
    showError(L"Error: FileType must have extension and description.");
    return;
  }
  for (const CTag* child : tag.children) {
    if (child->name == L"action")
      buildAction(*child, fileType);
  }
  if (fileType.actions.empty()) {
    showError(L"Error: FileType has no actions.");
    return;
  }
  _fileTypes.push_back(fileType);
}

void XmlApplication::buildAction(const CTag& tag, FileType& fileType)
{
  FileTypeAction action{attribute(tag, L"name"), attribute(tag, L"command")};
  if (action.name.empty() || action.command.empty())
    showError(L"Error: Action must have name and command.");
  else
    fileType.actions.push_back(action);
}
