#include "file_uri.h"

#include <unistd.h>

#include <array>

namespace platform {
namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsThisHost(const std::string& host) {
    if (host.empty() || host == "localhost") return true;
    std::array<char, 256> name{};
    return gethostname(name.data(), name.size() - 1) == 0 && host == name.data();
}

}  // namespace

std::string PercentEncode(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte) || byte == '/') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

std::string PercentDecode(const std::string& text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::string FileUri(const std::string& absolutePath) {
    return "file://" + PercentEncode(absolutePath);
}

std::optional<std::string> PathFromFileUri(const std::string& uri) {
    static constexpr char kScheme[] = "file:";
    if (uri.size() < 6 || uri.compare(0, 5, kScheme) != 0) return std::nullopt;
    std::string rest = uri.substr(5);
    if (rest.compare(0, 2, "//") == 0) {
        const std::size_t pathStart = rest.find('/', 2);
        if (pathStart == std::string::npos || !IsThisHost(rest.substr(2, pathStart - 2)))
            return std::nullopt;
        rest = rest.substr(pathStart);
    }
    if (rest.empty() || rest.front() != '/') return std::nullopt;
    const std::size_t end = rest.find_first_of("?#");
    std::string path = PercentDecode(rest.substr(0, end));
    if (path.find('\0') != std::string::npos) return std::nullopt;
    return path;
}

}  // namespace platform
