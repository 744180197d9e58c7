#pragma once

class HttpRequest;
class HttpResponse;

// Answers the paths under "/v/": a video's playlist, its segments, and HEAD
// for either.
void handleVideoRequest(HttpRequest* request, HttpResponse* response, void* userData);
