// The ANSI code page off Windows: code page 936 (GBK) through iconv, as a Simplified
// Chinese Windows has it.
#include <iconv.h>

#include <cerrno>
#include <vector>

#include "registry/codepage.h"
#include "base/runtime_error.h"
#include "base/text.h"

namespace zuv {
namespace {

// iconv_open's failure value, (iconv_t)-1: an integer made a pointer by the iconv API itself.
iconv_t NoConverter() {
    return reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
}

class IconvConverter {
public:
    IconvConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvConverter() {
        if (cd_ != NoConverter()) iconv_close(cd_);
    }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // False when a character cannot be converted or the input is malformed.
    bool Convert(std::string_view in, std::string& out) const {
        out.clear();
        if (cd_ == NoConverter()) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::vector<char> src(in.begin(), in.end());
        char* inPtr = src.data();
        std::size_t inLeft = src.size();
        std::vector<char> buffer(in.size() * 4 + 16);
        while (inLeft > 0) {
            char* outPtr = buffer.data();
            std::size_t outLeft = buffer.size();
            const std::size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer.data(), buffer.size() - outLeft);
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                return false;
            }
            // Some iconv implementations count irreversible conversions instead of failing.
            if (r != 0) return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

class Cp936 final : public AnsiCodePage {
public:
    std::string FromUtf8(std::string_view utf8) const override {
        if (IsAscii(utf8)) return std::string(utf8);
        std::string out;
        if (!toAnsi_.Convert(utf8, out)) {
            throw UnrepresentableText(utf8, 936);
        }
        return out;
    }

    std::string ToUtf8(std::string_view ansi) const override {
        if (IsAscii(ansi)) return std::string(ansi);
        std::string out;
        if (fromAnsi_.Convert(ansi, out)) return out;
        // Convert piecewise, replacing what is not valid GBK.
        out.clear();
        std::size_t i = 0;
        while (i < ansi.size()) {
            const auto b = static_cast<unsigned char>(ansi[i]);
            const std::size_t len = (b >= 0x81 && b <= 0xFE && i + 1 < ansi.size()) ? 2 : 1;
            std::string piece;
            if (fromAnsi_.Convert(ansi.substr(i, len), piece)) {
                out += piece;
            } else {
                out += "\xEF\xBF\xBD";
            }
            i += len;
        }
        return out;
    }

private:
    IconvConverter toAnsi_{"CP936", "UTF-8"};
    IconvConverter fromAnsi_{"UTF-8", "CP936"};
};

}  // namespace

std::unique_ptr<AnsiCodePage> MakeSystemCodePage() { return std::make_unique<Cp936>(); }

}  // namespace zuv
