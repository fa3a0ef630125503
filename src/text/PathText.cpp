#include "text/PathText.h"

namespace velmora {

namespace {

// The code point of the UTF-8 sequence at bytes[at] and its length, or a
// length of 0 when the bytes there are not valid UTF-8 (overlong forms,
// surrogates and values past U+10FFFF included).
struct Decoded
{
    char32_t code = 0;
    qsizetype length = 0;
};

Decoded decodeAt(QByteArrayView bytes, qsizetype at)
{
    const auto byte = [&bytes](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return {lead, 1};
    }
    qsizetype length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return {};
    }
    if (at + length > bytes.size()) {
        return {};
    }
    for (qsizetype i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return {};
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return {};
    }
    return {code, length};
}

// Whether a character would act on the terminal or the text around it
// instead of showing: control characters, the line and paragraph separators,
// and the bidirectional controls that can make a name look like another.
bool acts(char32_t code)
{
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029 ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

void appendHex(QString &out, unsigned char byte)
{
    constexpr char digits[] = "0123456789abcdef";
    out += QLatin1String("\\x");
    out += QLatin1Char(digits[byte >> 4]);
    out += QLatin1Char(digits[byte & 0x0F]);
}

bool readsAsEscape(QChar next)
{
    return next == u'n' || next == u'r' || next == u't' || next == u'x' || next == u'\\';
}

} // namespace

QString escapedPath(QByteArrayView bytes)
{
    // Most names are plain: printable ASCII without a backslash.
    bool plain = true;
    for (const char c : bytes) {
        plain = plain && c >= 0x20 && c < 0x7F && c != '\\';
    }
    if (plain) {
        return QString::fromLatin1(bytes);
    }
    QString out;
    out.reserve(bytes.size() + 8);
    // Where each literal backslash went, to double it once what follows it
    // is known.
    qsizetype pendingBackslash = -1;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype before = out.size();
        const Decoded decoded = decodeAt(bytes, at);
        if (decoded.length == 0) {
            appendHex(out, static_cast<unsigned char>(bytes[at]));
            at += 1;
        } else if (decoded.code == u'\n' || decoded.code == u'\r' || decoded.code == u'\t') {
            out += u'\\';
            out += decoded.code == u'\n' ? u'n' : decoded.code == u'\r' ? u'r' : u't';
            at += 1;
        } else if (acts(decoded.code)) {
            for (qsizetype i = 0; i < decoded.length; ++i) {
                appendHex(out, static_cast<unsigned char>(bytes[at + i]));
            }
            at += decoded.length;
        } else {
            out += QString::fromUtf8(bytes.sliced(at, decoded.length));
            at += decoded.length;
        }
        if (pendingBackslash >= 0 && readsAsEscape(out.at(before))) {
            out.insert(pendingBackslash, u'\\');
        }
        pendingBackslash = decoded.code == u'\\' && decoded.length == 1 ? out.size() - 1 : -1;
    }
    return out;
}

} // namespace velmora
