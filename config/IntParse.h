#pragma once
// The one strict reader of decimal integers: optional leading spaces, an
// optional sign, then only digits up to the end, within signed 32 bits. Log
// lines, log files and the settings file all read their numbers with it, so a
// number means the same everywhere.
#include <QString>
#include <QStringView>
#include <cstdint>

namespace za {

namespace detail {
inline char16_t IntParseCode(char c) { return char16_t(static_cast<unsigned char>(c)); }
inline char16_t IntParseCode(char16_t c) { return c; }
inline char16_t IntParseCode(QChar c) { return c.unicode(); }
} // namespace detail

// [p, e) holds the whole number. False (and out untouched) on anything else:
// nothing after the sign, a character that is not a digit, trailing text or
// blanks, a value outside -2147483648..2147483647.
template <typename Ch>
bool ParseStrictInt(const Ch* p, const Ch* e, int& out) {
    using detail::IntParseCode;
    while (p < e && IntParseCode(*p) == u' ') ++p;
    bool neg = false;
    if (p < e && (IntParseCode(*p) == u'+' || IntParseCode(*p) == u'-')) {
        neg = IntParseCode(*p) == u'-';
        ++p;
    }
    if (p == e) return false;
    int64_t v = 0;
    for (; p < e; ++p) {
        const char16_t c = IntParseCode(*p);
        if (c < u'0' || c > u'9') return false;
        v = v * 10 + (c - u'0');
        if (v > int64_t(2147483648LL)) return false;   // stops before any overflow
    }
    if (neg) v = -v;
    if (v > int64_t(2147483647LL)) return false;
    out = int(v);
    return true;
}

inline bool ParseStrictInt(const char* p, const char* e, int& out) { return ParseStrictInt<char>(p, e, out); }

inline bool ParseStrictInt(QStringView s, int& out) {
    return ParseStrictInt(s.data(), s.data() + s.size(), out);
}

inline bool ParseStrictInt(const QString& s, int& out) { return ParseStrictInt(QStringView(s), out); }

} // namespace za
