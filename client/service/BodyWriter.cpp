#include "service/BodyWriter.h"

namespace lumexia {
namespace {

// A write returns only once the connection took its bytes, so Cancel waits for the piece
// under way: pieces start small, and grow only while the connection takes them quickly.
// Every write has a cost of its own (under Wine, 9 MB in 64 KiB pieces took about 20 ms
// longer than in 256 KiB ones on loopback), which large pieces spare a fast link. Each
// piece is sized for about kPieceMs at the rate the last one went out, at most twice the
// last one: on a link that turns slow, Cancel still waits for one piece of a few hundred
// milliseconds at most, and the next piece is small again. The bytes on the wire are the
// same whatever the pieces.
constexpr DWORD kFirstPiece = 64 * 1024;
constexpr DWORD kSmallestPiece = 64 * 1024;
constexpr DWORD kLargestPiece = 512 * 1024;
constexpr double kPieceMs = 50;

double NowMs() {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

DWORD NextPiece(DWORD piece, double tookMs) {
    double next = 2.0 * piece;
    if (tookMs > 0 && piece * kPieceMs / tookMs < next) next = piece * kPieceMs / tookMs;
    if (next < kSmallestPiece) return kSmallestPiece;
    if (next > kLargestPiece) return kLargestPiece;
    return static_cast<DWORD>(next);
}

} // namespace

bool WriteBody(HINTERNET request, const char* body, DWORD length, const std::atomic<bool>* cancel) {
    DWORD sent = 0;
    DWORD piece = kFirstPiece;
    while (sent < length) {
        if (cancel && cancel->load()) return false;
        DWORD written = 0;
        const DWORD part = length - sent < piece ? length - sent : piece;
        const double start = NowMs();
        if (!::WinHttpWriteData(request, body + sent, part, &written)) return false;
        // A platform that takes nothing would spin here for ever.
        if (written == 0) return false;
        sent += written;
        piece = NextPiece(piece, NowMs() - start);
    }
    return true;
}

} // namespace lumexia
