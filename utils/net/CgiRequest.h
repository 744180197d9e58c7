#pragma once

#include <string>
#include <vector>

// The parameters of one request as name/value items: URL-encoded pairs (a
// query string or a form body) or the parts of a multipart/form-data body,
// whose uploads become files. Lookups give the first match; names may repeat.
class CgiRequest {
public:
  struct Item {
    std::string key;
    std::string value;
  };

  // An upload; every pointer points into the request's copy of the body.
  struct File {
    const char* name;
    const char* filename;
    int length;
    const char* data;
  };

  // Null data reads the QUERY_STRING environment variable; a length of -1
  // means up to the NUL.
  CgiRequest(const char* data, int length, const char* contentType);
  CgiRequest(const CgiRequest&) = delete;
  CgiRequest& operator=(const CgiRequest&) = delete;

  const char* getValue(const char* key) const;
  const File* getFile(const char* name) const;
  int getItemCount() const { return static_cast<int>(_items.size()); }
  int getFileCount() const { return static_cast<int>(_files.size()); }

private:
  void parseQuery(const char* text, size_t length);
  void parseMultipart(const char* data, size_t length, const char* contentType);
  bool parsePart(char*& cursor, char* end, const std::string& delimiter);
  void addItem(const char* key, const std::string& value);

  std::vector<Item> _items;
  std::vector<File> _files;
  std::vector<char> _body;  // the multipart body, NUL-terminated; files point into it
};
