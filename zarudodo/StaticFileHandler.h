#pragma once

class HttpRequest;
class HttpResponse;

// Answers with the file the path names under webRoot, the front end's files;
// declines when there is none.
void handleStaticFile(HttpRequest* request, HttpResponse* response, void* userData);
