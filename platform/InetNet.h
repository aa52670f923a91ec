#pragma once

// glibc's inet_net_pton knows only AF_INET, so IPv6 network texts are read
// here: an address as inet_pton(AF_INET6) takes it, optionally followed by
// "/" and a prefix length of decimal digits from 0 to 128 (no leading zeros,
// as the classic network parser wants). Without "/" the length is 128.
//
// Returns the prefix length and puts the address into out, or returns -1 and
// leaves out untouched when the text is no IPv6 network text (also for null).
int inetNetPton6(const char* text, unsigned char out[16]);

// The classic IPv4 network parser (glibc's inet_net_pton for AF_INET): the
// prefix length, or -1 when the text is no IPv4 network text.
int inetNetPton4(const char* text, unsigned char out[4]);
