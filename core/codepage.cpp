#include "core/codepage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <initializer_list>

namespace core {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Length of the UTF-8 sequence that starts at bytes[i] when it is well formed, else 0.
std::size_t Utf8SequenceLength(const std::string& bytes, std::size_t i)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const std::size_t n = bytes.size();
    const unsigned char b0 = at(i);
    if (b0 < 0x80) return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;  // no overlong three-byte forms
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;  // no overlong four-byte forms
        if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;  // continuation byte, C0, C1 or F5..FF as lead
    }
    if (i + len > n) return 0;
    const unsigned char b1 = at(i + 1);
    if (b1 < lo || b1 > hi) return 0;
    for (std::size_t k = 2; k < len; ++k) {
        const unsigned char b = at(i + k);
        if (b < 0x80 || b > 0xBF) return 0;
    }
    return len;
}

bool IsGbkLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// An iconv descriptor between UTF-8 and GBK; the code page's other name is tried when the first
// is unknown.
class Converter {
public:
    enum Direction { kToUtf8, kToGbk };
    explicit Converter(Direction dir)
    {
        for (const char* gbk : {"GBK", "CP936"}) {
            cd_ = dir == kToUtf8 ? iconv_open("UTF-8", gbk) : iconv_open(gbk, "UTF-8");
            if (ok()) break;
        }
    }
    ~Converter()
    {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can of [*in, *in + *inLeft) into out. Returns 0 when all was
    // converted, else the errno of the stop (EILSEQ, EINVAL).
    int Convert(const char** in, std::size_t* inLeft, std::string& out)
    {
        char buf[256];
        while (*inLeft > 0) {
            char* o = buf;
            std::size_t oLeft = sizeof buf;
            char* src = const_cast<char*>(*in);
            const std::size_t r = iconv(cd_, &src, inLeft, &o, &oLeft);
            *in = src;
            out.append(buf, static_cast<std::size_t>(o - buf));
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                const int err = errno;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
                return err;
            }
        }
        return 0;
    }

private:
    iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

}  // namespace

bool IsValidUtf8(const std::string& bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = Utf8SequenceLength(bytes, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string FromCodePage(const std::string& bytes)
{
    if (IsValidUtf8(bytes)) return bytes;
    return DecodeGbk(bytes);
}

std::string DecodeGbk(const std::string& bytes)
{
    Converter conv(Converter::kToUtf8);
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    if (!conv.ok()) {
        // No GBK converter on this system: keep ASCII, replace the rest.
        for (unsigned char c : bytes) {
            if (c < 0x80)
                out.push_back(static_cast<char>(c));
            else
                out += kReplacement;
        }
        return out;
    }
    const char* in = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const int err = conv.Convert(&in, &left, out);
        if (err == 0) break;
        out += kReplacement;
        if (err == EINVAL) break;  // a lead byte cut off at the end
        // An undecodable byte (or pair): drop the first byte and go on; a lead byte followed by
        // a byte that is no trail byte leaves that byte to be read again.
        ++in;
        --left;
    }
    return out;
}

std::string ToGbk(const std::string& utf8)
{
    Converter conv(Converter::kToGbk);
    std::string out;
    out.reserve(utf8.size());
    if (!conv.ok()) {
        for (unsigned char c : utf8) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return out;
    }
    const char* in = utf8.data();
    std::size_t left = utf8.size();
    while (left > 0) {
        const int err = conv.Convert(&in, &left, out);
        if (err == 0) break;
        out.push_back('?');
        if (err == EINVAL) break;  // a character cut off at the end
        // Skip the whole character GBK lacks (one byte when it is no valid UTF-8 at all).
        const std::size_t pos = static_cast<std::size_t>(in - utf8.data());
        std::size_t len = Utf8SequenceLength(utf8, pos);
        if (len == 0) len = 1;
        in += len;
        left -= len;
    }
    return out;
}

std::string CutToBytes(const std::string& bytes, std::size_t maxBytes)
{
    if (bytes.size() <= maxBytes) return bytes;
    return IsValidUtf8(bytes) ? CutUtf8ToBytes(bytes, maxBytes) : CutGbkToBytes(bytes, maxBytes);
}

std::string CutUtf8ToBytes(const std::string& bytes, std::size_t maxBytes)
{
    if (bytes.size() <= maxBytes) return bytes;
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
    return bytes.substr(0, cut);
}

std::string CutGbkToBytes(const std::string& bytes, std::size_t maxBytes)
{
    if (bytes.size() <= maxBytes) return bytes;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t len = 1;
        if (IsGbkLead(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size()) len = 2;
        if (i + len > maxBytes) break;
        i += len;
    }
    return bytes.substr(0, i);
}

std::string MeterText(const std::string& bytes, std::size_t maxBytes, bool goesOn)
{
    // A text that goes on is cut as the longer text would be: a lead byte at the end of the bytes
    // at hand, whose trail byte was not sent, is left out.
    const std::size_t keep = std::min(maxBytes, bytes.size());
    return DecodeGbk(CutGbkToBytes(goesOn ? bytes + ' ' : bytes, keep));
}

}  // namespace core
