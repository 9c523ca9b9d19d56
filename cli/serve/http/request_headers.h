// What serve checks of a request over the headers libmicrohttpd has parsed (never a parser of its
// own): the refusals the library does not make itself, what the client accepts, and the gzip body
// it may ask for.
#pragma once

#include <microhttpd.h>

#include <string>

// The status a request is refused with once its headers are in, and its words; 0 when it is not.
// What libmicrohttpd lets through and HTTP does not: two lengths (which one would a proxy believe?),
// a blank in a header's name, no Host in HTTP/1.1 (400); a method other than GET and HEAD (405); a
// request body (413).
unsigned Refusal(MHD_Connection* c, const char* version, const char* method, const char*& words);
// How many headers of this name the request has (two Content-Length headers are refused).
int headerCount(MHD_Connection* c, const char* name);
// Whether a header's name holds a blank (a space before its colon): a name a proxy in front may read
// otherwise than this server does.
bool blankInAName(MHD_Connection* c);
// A client that the web configuration asks a certificate of has shown one its authority signed.
bool certifiedClient(MHD_Connection* c);
// Whether a header's comma-separated list of values names `token` with a weight above 0
// ("gzip, deflate", "gzip;q=0.5"; "keep-alive, close").
bool listsToken(const char* value, const std::string& token);
// The body in gzip's format, at the level that suits a text of numbers sent every few seconds.
bool gzipped(const std::string& in, std::string& out);
