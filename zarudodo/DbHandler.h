#pragma once

#include <string>

class HttpRequest;
class HttpResponse;

void handleDbRequest(HttpRequest* request, HttpResponse* response, void* userData);
std::string buildFileList();
