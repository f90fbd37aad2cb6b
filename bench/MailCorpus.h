#pragma once

#include <cstddef>

// Mail files for the benchmarks, written to `fd` as they are made, so that a
// file of any size takes little memory. Each returns false when a write fails.

// An mbox of form mails of about `bytes` bytes: half with the form (of about
// 4 KB) in a text/plain body, half with it in a base64 POSTDATA.ATT attachment.
bool WriteFormMbox(int fd, std::size_t bytes);

// An mbox of `messages` form mails as a web shop's form handler sends them,
// with the headers that the mail servers on the way add: forms of about 750
// bytes in turn in a 7bit body, a quoted-printable body and a base64
// POSTDATA.ATT attachment of a multipart/mixed.
bool WriteRealisticMbox(int fd, unsigned messages);

// A mail whose one header line is `bytes` long, and then a small form.
bool WriteLongHeaderMail(int fd, std::size_t bytes);

// A mail of multiparts nested `depth` deep, with a small form in the deepest.
bool WriteNestedMail(int fd, int depth);
