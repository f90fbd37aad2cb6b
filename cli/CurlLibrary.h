#pragma once

#include <curl/curl.h>

#include <string>

// libcurl, opened when an IMAP mailbox is first read rather than when the
// tool starts. With the thirty libraries it brings, linking it takes the
// loader some 10 ms, longer than decoding a form body of 20 MB takes, and
// only IMAP needs it.
class CurlLibrary
{
public:
    // The library, opened on first use; nullptr when it cannot be opened,
    // and then error() says why.
    static const CurlLibrary* open();
    static std::string error();

    CURL* (*easyInit)();
    void (*easyCleanup)(CURL*);
    CURLcode (*easySetopt)(CURL*, CURLoption, ...);
    CURLcode (*easyPerform)(CURL*);
    CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...);
    CURLcode (*easySend)(CURL*, const void*, size_t, size_t*);
    CURLcode (*easyRecv)(CURL*, void*, size_t, size_t*);
    const char* (*easyStrerror)(CURLcode);
};
