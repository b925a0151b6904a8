// SHA-1 digests and hexadecimal texts for the login's challenge and response. The byte
// sequences hashed and the text forms are what the service checks, so they must not
// change: lower-case hex, two digits per byte.
#pragma once

#include <cstddef>
#include <string>

namespace lumexia {

// Two lower-case hexadecimal digits per byte ("0f" for 15).
std::wstring HexFromBytes(const unsigned char* bytes, std::size_t count);

// Reads `text` two characters at a time, each pair as a base-16 number the way wcstol
// reads it (leading white space and a sign skipped, stops at the first non-digit, no
// digit gives 0), and stores the low 8 bits of each as the next byte, at most `maxCount`
// bytes. An odd-length text gives a last byte from its single final digit. Returns the
// number of bytes written.
std::size_t BytesFromHex(const std::wstring& text, unsigned char* buffer, std::size_t maxCount);

// SHA-1 of the text's UTF-8 bytes as 40 hex digits. False, `hex` untouched, for an empty
// text, a text whose UTF-8 form exceeds 999 bytes, or a failure of the platform's hashing.
bool Sha1HexOfText(const std::wstring& text, std::wstring& hex);
// SHA-1 of `count` bytes as 40 hex digits; false, `hex` untouched, when hashing fails.
bool Sha1HexOfBytes(const unsigned char* bytes, std::size_t count, std::wstring& hex);

// The login's HASHPASS for a random block (hex text from the service) and a password:
// SHA-1 over the bytes whose hex text is the block followed by the password's digest.
// Empty when the password cannot be hashed or block and digest reach 200 characters.
std::wstring LoginPasswordHash(const std::wstring& block, const std::wstring& password);

} // namespace lumexia
