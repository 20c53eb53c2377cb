#include "store/LineCheck.h"

#include <array>
#include <cctype>

namespace zalvik::store {

uint32_t Crc32(QByteArrayView bytes) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes) c = table[(c ^ static_cast<uint8_t>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

namespace {

void AppendCheckField(QByteArray& out, QByteArrayView body) {
    static const char hex[] = "0123456789ABCDEF";
    const uint32_t crc = Crc32(body);
    out += '#';
    for (int shift = 28; shift >= 0; shift -= 4) out += hex[(crc >> shift) & 15];
}

}  // namespace

QByteArray SealedLine(QByteArrayView body, char separator) {
    QByteArray out;
    out.reserve(body.size() + 1 + kCheckFieldSize + 2);
    out += body;
    out += separator;
    AppendCheckField(out, body);
    return out;
}

LineCheckResult CheckLine(QByteArrayView line, char separator) {
    using What = LineCheckResult::What;
    if (line.contains(kCutMark)) return {What::Damaged, {}};
    const qsizetype n = line.size();
    if (n <= kCheckFieldSize || line[n - kCheckFieldSize - 1] != separator ||
        line[n - kCheckFieldSize] != '#')
        return {What::Unchecked, line};
    for (qsizetype i = n - kCheckFieldSize + 1; i < n; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return {What::Unchecked, line};
    const QByteArrayView body = line.first(n - kCheckFieldSize - 1);
    QByteArray expected;
    AppendCheckField(expected, body);
    if (QByteArrayView(expected) != line.last(kCheckFieldSize)) return {What::Damaged, {}};
    return {What::Good, body};
}

}  // namespace zalvik::store
