#pragma once

class HttpRequest;
class HttpResponse;

// Answers the paths under "/v/": a video's playlist, its segments, and HEAD
// for either.
void handleVideoRequest(HttpRequest* request, HttpResponse* response, void* userData);

// Videos whose length could not be found are probed again when next asked for.
void forgetFailedProbes();
