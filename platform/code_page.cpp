#include "code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

// One conversion descriptor for the lifetime of a conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (Valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts input into output, calling replace for every input sequence
    // the target cannot take or the source does not allow; replace returns
    // how many input bytes to skip (at least 1).
    template <typename Replace>
    std::string Convert(std::string_view input, const Replace& replace) const {
        std::string output;
        char buffer[256];
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        while (inLeft > 0) {
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = iconv(handle_, &in, &inLeft, &out, &outLeft);
            const int error = errno;
            output.append(buffer, static_cast<std::size_t>(out - buffer));
            if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
            // EILSEQ or EINVAL: an unconvertible or incomplete sequence.
            const std::size_t skip = std::min(replace(output, std::string_view(in, inLeft)), inLeft);
            in += skip;
            inLeft -= skip;
        }
        return output;
    }

private:
    iconv_t handle_;
};

std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

bool IsCodePage932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace

std::string ToCodePage932(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const Converter converter("CP932", "UTF-8");
    if (!converter.Valid()) return std::string(static_cast<std::size_t>(text.size()), '?');
    return converter.Convert(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                             [](std::string& output, std::string_view rest) {
                                 output += '?';
                                 return Utf8SequenceLength(static_cast<unsigned char>(rest.front()));
                             });
}

QString FromCodePage932(std::string_view bytes) {
    // Below 0x80 code page 932 is ASCII: most names need no converter.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const Converter converter("UTF-8", "CP932");
    if (!converter.Valid()) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const std::string utf8 = converter.Convert(bytes, [](std::string& output, std::string_view) {
        output += "\xEF\xBF\xBD";
        return std::size_t{1};
    });
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::size_t CodePage932Prefix(std::string_view bytes, std::size_t limit) {
    std::size_t length = 0;
    while (length < bytes.size()) {
        const std::size_t next =
            length + (IsCodePage932LeadByte(static_cast<unsigned char>(bytes[length])) ? 2 : 1);
        if (next > limit || next > bytes.size()) break;
        length = next;
    }
    return length;
}

}  // namespace platform
