#pragma once

// The web server's limits in one place. Each connection gets a thread of its
// own in a 32-bit process, so these are what keep one client from holding
// unbounded memory or a thread for ever.

const int RECEIVE_TIMEOUT_MS = 5000;          // per recv; a silent client gets 400
const int REQUEST_DEADLINE_MS = 10000;        // the whole request, from accept; a trickling client gets 400
const int SEND_TIMEOUT_MS = 5000;             // per send; a client that stops reading is dropped
const int RECEIVE_BUFFER_BYTES = 64000;       // one recv call
const unsigned MAX_REQUEST_BYTES = 0x200000;  // head and body together (2 MiB)
const unsigned MAX_HEAD_BYTES = 65536;        // request line and header lines
const unsigned MAX_HEADER_COUNT = 100;
const int ACCEPT_WAIT_MS = 250;               // a stop takes effect within this
const int MAX_REQUEST_THREADS = 256;          // beyond it a request gets 503
const int MAX_WAITING_CONNECTIONS = 4000;     // accepted, nothing received yet; beyond it 503
const int SHUTDOWN_GRACE_MS = 3000;           // then the connections still served are cut
const int PORT_SEARCH_COUNT = 100;            // the configured port and the ones above it
const int HIGHEST_PORT = 65535;
const unsigned FILE_BLOCK_BYTES = 65536;      // static files go out in blocks of this

// Log channels of the server, its requests and its responses.
extern const int WEB_LOG_KEY;          // "L_WebServer"
extern const int WEB_DEBUG_LOG_KEY;    // "D_WebServer": per-request lines
extern const int WEB_VERBOSE_LOG_KEY;  // "V_WebServer": bind, start, stop, socket options
