#pragma once

#include <string>

class HttpRequest;
class HttpResponse;

// Answers "/db": the video list, the settings, and new settings from a form
// the server itself served.
void handleDbRequest(HttpRequest* request, HttpResponse* response, void* userData);
// The "getfiles" reply: every video in the database.
std::string buildFileList();
