// zov_web: a small non-blocking HTTP/1.0 client.  One request per record,
// driven by polling from the caller's frame loop: each `zov_web_poll` does at
// most one step and never waits, so the game never stalls on the network.
// Only the host-name lookup inside `zov_web_create` blocks, and each name is
// looked up once for the life of the program.
//
// A request is a GET or a form-encoded POST; the answer is the raw bytes
// after the response head (no redirects, no chunked coding), with a lookup of
// single head fields.  Diagnostics go to standard error.
//
// State: each record is owned by its caller (create .. destroy) and used from
// one thread.  The host cache is a process-wide map without a lock:
// `zov_gethostbyname` is main-thread only.
//
// Typical use: create; poll until it returns 1; if `error` is 0 read
// `data`/`len` and, if needed, head fields; destroy.
#pragma once

#include <netinet/in.h>

// ====== Limits ======
enum {
    ZOV_WEB_HOST_MAX = 256,  // host field, terminator included
    ZOV_WEB_PATH_MAX = 1024, // path field, terminator included
    ZOV_WEB_CHUNK = 4096,    // bytes asked of one read
    // A response that grows beyond this many bytes fails the request: a
    // server that never stops sending must not exhaust memory.
    ZOV_WEB_RESPONSE_MAX = 64 * 1024 * 1024,
};

// ====== Types ======

// A growable byte buffer; `data` is owned (freed by zov_web_destroy).  The
// bytes past `len` are always zero.
struct zov_web_buffer {
    int len;     // bytes in use
    int alloc;   // bytes allocated
    int pos;     // bytes of the request already sent (request buffer only)
    unsigned char* data;
};

// The steps of a request (`state`):
//   0  unusable (bad arguments, name lookup or socket failed; error is 1)
//   1  socket open, not yet connecting   -> first poll starts the connect: 2
//   2  connecting or sending the request -> everything sent: 3
//   3  receiving                         -> the peer closes: 4
//   4  done: data/len hold the body
// `error` may become 1 in any state but 4; the state then stays as it was
// and every further poll returns 1.
struct zov_web {
    unsigned char* data; // the body inside _response (null before the first read)
    int len;             // body length; data[len] is always a zero byte
    int error;           // 1 once the request has failed
    char host[ZOV_WEB_HOST_MAX];
    int port;
    char path[ZOV_WEB_PATH_MAX]; // with any query
    zov_web_buffer _request;     // head and body, and the count sent
    zov_web_buffer _response;    // every byte received, head included
    int header;                  // length of the response head: the body's offset
    int state;
    long timeout;  // deadline, in whole seconds of zov_web_get_ticks()
    long _timeout; // seconds a request may go without progress
    int sockfd;    // -1 when there is none
    sockaddr_in their_addr;
    // The search for the blank line that ends the head resumes where the
    // previous read stopped, so a head split over reads is found whole.
    int _head_done; // 1 once the blank line was found
    int _head_last; // the last byte scanned that was not a CR
};

// One cached lookup.
struct HostAddr {
    int ok; // 1: resolved
    in_addr value;
    HostAddr() : ok(0), value() {}
    explicit HostAddr(in_addr v) : ok(1), value(v) {}
};

// Set by zov_web_init; nothing depends on it.
extern int _zov_web_is_init;

// ====== Lifecycle ======

// Always 0.
int zov_web_init();
void zov_web_deinit();

// ====== Requests ======

// Starts a request to host:port for path; postlen 0 makes a GET, otherwise
// a POST of the postlen bytes at post as form data; timeout is the number of
// seconds the request may go without progress.  Never null: a failure
// (lookup, socket, or arguments that would make an unsafe request: a host or
// path that does not fit its field or holds a blank or control byte, a port
// outside 1..65535, a negative postlen or a missing body) gives a record in
// state 0 with error 1, after a line on standard error.
zov_web* zov_web_create(const char* host, int port, const char* path, const void* post, int postlen,
                        int timeout);
// One step: 1 when the request is over (finished, or failed: see `error`),
// 0 while it goes on.  Never waits.  Null counts as over.
int zov_web_poll(zov_web* page);
// Copies the value of the response head field `name` (case-sensitive, the
// leading spaces skipped) into dest: at most dlen - 1 bytes, always
// terminated; empty when absent or when page is null.  Nothing happens when
// dlen is below 1.
void zov_web_get_header(zov_web* page, char* dest, int dlen, const char* name);
// Closes the socket and frees the record and its buffers; null is ignored.
void zov_web_destroy(zov_web* page);

// ====== Form encoding ======

// The size zov_web_urlencode needs for the l bytes at in, terminator
// included; -1 when that size is beyond an int.
int zov_web_urlencode_len(const char* in, int l);
// Percent-encodes the l bytes at in into out (len bytes): ASCII letters and
// digits stay, every other byte becomes "%xx" in lower case.  Stops at the
// first byte that does not fit whole; out is always terminated (when len is
// at least 1).
void zov_web_urlencode(char* out, int len, const char* in, int l);

// ====== Host names ======

// The address of name, looked up once and cached for the life of the
// program (the pointer stays valid); null when it does not resolve.  Failed
// lookups are not cached.  Blocks while the system resolver works.
in_addr* zov_gethostbyname(const char* name);

// ====== Internals ======

// Grows buf so that ext more bytes fit past len; new bytes are zero.  False
// when memory runs out (buf unchanged).
bool zov_web_extend(zov_web_buffer* buf, int ext);
// Whole seconds of a clock that never steps back.
long zov_web_get_ticks();
// Does nothing: polling never sleeps.
void zov_web_delay(long ticks);
// The deadline becomes now plus `_timeout`.
void zov_web_reset_timeout(zov_web* page);
// Finds the end of the response head in the bytes received so far.
void zov_find_header(zov_web* page);
