#include "CliText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "KivUiTexts.h"

namespace {

// Length of the valid UTF-8 sequence at s[i], 0 when none starts there (overlong forms,
// surrogates and values past U+10FFFF are invalid).
size_t Utf8Length(const std::string& s, size_t i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (c >= 0xF5 || n == 0 || n > s.size() - i) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    if (n == 3 && ((c == 0xE0 && b(i + 1) < 0xA0) || (c == 0xED && b(i + 1) >= 0xA0))) return 0;
    if (n == 4 && ((c == 0xF0 && b(i + 1) < 0x90) || (c == 0xF4 && b(i + 1) >= 0x90))) return 0;
    // C1 controls (U+0080..U+009F) act on terminals too.
    if (n == 2 && c == 0xC2 && b(i + 1) < 0xA0) return 0;
    return n;
}

void Octal(std::string& out, unsigned char c) {
    out += '\\';
    out += static_cast<char>('0' + (c >> 6));
    out += static_cast<char>('0' + ((c >> 3) & 7));
    out += static_cast<char>('0' + (c & 7));
}

}  // namespace

std::string CliPrintable(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\') out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c == '\n') {
            out += "\\n", ++i;
        } else if (c == '\t') {
            out += "\\t", ++i;
        } else if (c == '\r') {
            out += "\\r", ++i;
        } else if (size_t n = c >= 0x80 ? Utf8Length(s, i) : 0) {
            out.append(s, i, n);
            i += n;
        } else {
            Octal(out, c);
            ++i;
        }
    }
    return out;
}

void CliPrintLine(const std::string& s) {
    std::string line = CliPrintable(s) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

bool CliCloseStdout(std::string* pWhy) {
    // The stream writes through stdout's buffer: the first failing flush has the reason.
    int e = 0;
    errno = 0;
    std::cout.flush();
    if (!std::cout.good()) e = errno;
    errno = 0;
    if (std::fflush(stdout) != 0 && !e) e = errno;
    bool bBad = !std::cout.good() || std::ferror(stdout);
    errno = 0;
    if (std::fclose(stdout) != 0) {
        bBad = true;
        if (!e) e = errno;
    }
    if (!bBad) return true;
    if (pWhy) *pWhy = e ? std::strerror(e) : "the output could not be written";
    return false;
}

void CliError(const std::string& strText) {
    std::string s = "undelia-cli: " + CliPrintable(strText) + "\n";
    std::fwrite(s.data(), 1, s.size(), stderr);
}

void CliCodeError(const std::string& strWhat, KivResult nCode) { CliError(strWhat + ": " + KivErrorText(nCode)); }
