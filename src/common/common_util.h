#pragma once

#include <cstdint>
#include <string>

#include "common/common_secret.h"

// Base name of a source path: the part after the last '/' or '\\', the whole path when it has
// neither. null (reported) when the path is null.
const char* GetFileName(const char* pPath);

// Appends the local time, formatted with seven int arguments: year, month, day, hour,
// minute, second, millisecond (for example "%04d-%02d-%02d %02d:%02d:%02d.%03d").
void GetLocalTimeString(const char* pFormat, std::string& out);

// Scrambles a password into printable text, two characters per input byte, NUL-terminated.
// An empty input gives the marker word "vacantcipher". 0, 10001 (null pointer) or
// 10004 (output smaller than 2 * length + 1, or than 13 for the marker word).
int Text2Cipher(const char* pInput, uint32_t length, char* pOutput, uint32_t size);
// Scrambles the text up to its first NUL (at most 127 bytes); the output is set only on success.
int Text2CipherString(const CSecretText& input, CSecretText& output);

// IPv4 tests; addresses and masks in host byte order, first dotted field most significant.
bool IsValidHostAddr(uint32_t addr);
bool IsValidMask(uint32_t mask);
bool IsSameSubnet(uint32_t addrA, uint32_t addrB, uint32_t mask);

// Dotted text of an address given in network byte order. 0, or 10001 (output unchanged).
int IpToString(uint32_t addrNetOrder, std::string& out);

// Passwords and serial codes pass through the programs' memory: keeps that memory out of
// core files (Linux: the process is made non-dumpable, which also keeps debuggers of other
// non-root processes out). Windows has no per-process switch for this; nothing is done there.
// 0, or 10002 (reported).
int KeepOutOfCoreFiles();

// Text of a new random UUID, 36 characters, third group in lower case, the others in upper case.
std::string CreateUuidString();
