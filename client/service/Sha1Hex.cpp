#include "service/Sha1Hex.h"

#include "common/ScopedWin.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <cwchar>

namespace lumexia {
namespace {

struct CryptProvTraits {
    using Handle = HCRYPTPROV;
    static Handle Invalid() { return 0; }
    static void Close(Handle h) { ::CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
    using Handle = HCRYPTHASH;
    static Handle Invalid() { return 0; }
    static void Close(Handle h) { ::CryptDestroyHash(h); }
};

// Fallback container of earlier clients. Acquiring it may create it in the user's key
// store, where it stays; it is used only when a verify context cannot be had.
const wchar_t kKeyContainer[] = L"{E8F4B489-E781-478e-B6B6-B288BD6D70EF}";

constexpr std::size_t kTextBytes = 1000; // the UTF-8 form gets at most 999 of them
constexpr std::size_t kBlockBytes = 200;
constexpr std::size_t kSha1Bytes = 20;

// A provider for hashing. CRYPT_VERIFYCONTEXT needs no key container and leaves
// nothing behind in the user's profile.
bool AcquireProvider(Scoped<CryptProvTraits>& provider) {
    if (::CryptAcquireContextW(provider.Put(), nullptr, nullptr, PROV_RSA_FULL,
                               CRYPT_VERIFYCONTEXT))
        return true;
    if (::CryptAcquireContextW(provider.Put(), kKeyContainer, nullptr, PROV_RSA_FULL, 0))
        return true;
    return ::CryptAcquireContextW(provider.Put(), kKeyContainer, nullptr, PROV_RSA_FULL,
                                  CRYPT_NEWKEYSET) != FALSE;
}

} // namespace

std::wstring HexFromBytes(const unsigned char* bytes, std::size_t count) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring hex;
    hex.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

std::size_t BytesFromHex(const std::wstring& text, unsigned char* buffer, std::size_t maxCount) {
    std::size_t written = 0;
    for (std::size_t i = 0; i < text.size() && written < maxCount; i += 2) {
        const std::wstring pair = text.substr(i, 2);
        const long value = std::wcstol(pair.c_str(), nullptr, 16);
        buffer[written++] = static_cast<unsigned char>(static_cast<unsigned long>(value) & 0xFF);
    }
    return written;
}

bool Sha1HexOfBytes(const unsigned char* bytes, std::size_t count, std::wstring& hex) {
    Scoped<CryptProvTraits> provider;
    if (!AcquireProvider(provider)) return false;
    Scoped<CryptHashTraits> hash;
    if (!::CryptCreateHash(provider.Get(), CALG_SHA1, 0, 0, hash.Put())) return false;
    if (!::CryptHashData(hash.Get(), bytes, static_cast<DWORD>(count), 0)) return false;
    BYTE digest[kSha1Bytes] = {};
    DWORD length = sizeof digest;
    if (!::CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &length, 0)) return false;
    hex = HexFromBytes(digest, length);
    return true;
}

bool Sha1HexOfText(const std::wstring& text, std::wstring& hex) {
    if (text.empty()) return false;
    char utf8[kTextBytes] = {};
    // A text whose UTF-8 form does not fit converts to nothing: the call fails whole.
    const int count =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8,
                              static_cast<int>(kTextBytes - 1), nullptr, nullptr);
    if (count <= 0) return false;
    return Sha1HexOfBytes(reinterpret_cast<const unsigned char*>(utf8),
                          static_cast<std::size_t>(count), hex);
}

std::wstring LoginPasswordHash(const std::wstring& block, const std::wstring& password) {
    std::wstring digest;
    if (!Sha1HexOfText(password, digest)) return std::wstring();
    const std::wstring combined = block + digest;
    if (combined.size() >= kBlockBytes) return std::wstring();
    unsigned char bytes[kBlockBytes] = {};
    BytesFromHex(combined, bytes, kBlockBytes);
    std::wstring hash;
    if (!Sha1HexOfBytes(bytes, combined.size() / 2, hash)) return std::wstring();
    return hash;
}

} // namespace lumexia
