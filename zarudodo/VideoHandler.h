#pragma once

class HttpRequest;
class HttpResponse;

void handleVideoRequest(HttpRequest* request, HttpResponse* response, void* userData);
