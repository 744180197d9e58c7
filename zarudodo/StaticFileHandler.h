#pragma once

class HttpRequest;
class HttpResponse;

void handleStaticFile(HttpRequest* request, HttpResponse* response, void* userData);
