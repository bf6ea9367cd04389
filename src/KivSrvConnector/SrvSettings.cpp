#include "SrvSettings.h"

#include <cctype>
#include <cstdlib>

#include "KivLog.h"
#include "KivReg.h"

namespace {

constexpr long kMinTimeoutMs = 100;
constexpr long kMaxTimeoutMs = 120000;

// A setting: the environment variable when set, else the registry value, else the default.
std::string ReadSetting(CKivReg& reg, const char* pszValue, const char* pszEnv, const std::string& def) {
    if (const char* p = std::getenv(pszEnv)) return p;
    char buf[1024];
    uint32_t n = sizeof(buf);
    if (KivSucceeded(reg.ReadDataByReg(KIV_SRV_REG_SETTINGS, pszValue, buf, &n))) {
        std::string s(buf, n);
        while (!s.empty() && (s.back() == '\0' || s.back() == '\n' || s.back() == '\r')) s.pop_back();
        return s;
    }
    return def;
}

bool ParseLong(const std::string& text, long lo, long hi, long* pOut) {
    if (text.empty() || text.size() > 12) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi) return false;
    *pOut = v;
    return true;
}

void LogBadSetting(const char* pszName, const std::string& value) {
    KivLogA(0, "KivSrvConnector: unusable setting %s = \"%.200s\"", pszName, value.c_str());
}

}  // namespace

bool CSrvSettings::IsValidHost(const std::string& host) {
    if (host.empty() || host.size() > 253) return false;
    if (host.front() == '[') {  // an IPv6 literal
        if (host.size() < 3 || host.back() != ']') return false;
        for (size_t i = 1; i + 1 < host.size(); ++i) {
            char c = host[i];
            if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.')) return false;
        }
        return true;
    }
    // Names and IPv4 literals: nothing that could change the meaning of the URL we build.
    for (char c : host) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_')) return false;
    }
    return host.front() != '.' && host.front() != '-';
}

bool CSrvSettings::IsValidPath(const std::string& path) {
    if (path.empty() || path.front() != '/' || path.size() > 1024) return false;
    for (char c : path) {
        auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == '#') return false;
    }
    return true;
}

bool CSrvSettings::ParsePort(const std::string& text, uint16_t* pPort) {
    long v = 0;
    if (!ParseLong(text, 1, 65535, &v)) return false;
    *pPort = static_cast<uint16_t>(v);
    return true;
}

bool CSrvSettings::SplitEndpoint(const std::string& text, std::string* pAddr, uint16_t* pPort) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string addr = text.substr(0, colon);
    if (addr.front() == '[') {
        if (addr.size() < 3 || addr.back() != ']') return false;
        addr = addr.substr(1, addr.size() - 2);
    } else if (addr.find(':') != std::string::npos) {
        return false;  // a bare IPv6 address needs brackets to carry a port
    }
    long v = 0;
    if (!ParseLong(text.substr(colon + 1), 0, 65535, &v)) return false;
    *pAddr = addr;
    *pPort = static_cast<uint16_t>(v);
    return true;
}

void CSrvSettings::Load() {
    *this = CSrvSettings();
    CKivReg reg;
    reg.SetRegPath(KIV_REG_CURRENT_USER, KIV_SRV_REG_FIRST, KIV_SRV_REG_SECOND);

    std::string host = ReadSetting(reg, "Host", "UNDELIA_STATS_HOST", "");
    std::string port = ReadSetting(reg, "Port", "UNDELIA_STATS_PORT", "82");
    std::string path = ReadSetting(reg, "Path", "UNDELIA_STATS_PATH", m_path);
    std::string secure = ReadSetting(reg, "Https", "UNDELIA_STATS_HTTPS", "0");
    std::string timeout = ReadSetting(reg, "TimeoutMs", "UNDELIA_STATS_TIMEOUT_MS", "5000");
    std::string bind = ReadSetting(reg, "DatagramBind", "UNDELIA_STATS_DGRAM_BIND", "");
    std::string target = ReadSetting(reg, "DatagramTarget", "UNDELIA_STATS_DGRAM_TARGET", "");

    long ms = 0;
    if (ParseLong(timeout, kMinTimeoutMs, kMaxTimeoutMs, &ms)) {
        m_nTimeoutMs = ms;
    } else {
        LogBadSetting("TimeoutMs", timeout);
    }
    m_bSecure = secure == "1";

    // A broken part of the HTTP settings disables the HTTP path rather than guess an address.
    if (!host.empty()) {
        bool ok = true;
        if (!IsValidHost(host)) ok = false, LogBadSetting("Host", host);
        if (!ParsePort(port, &m_port)) ok = false, LogBadSetting("Port", port);
        if (!IsValidPath(path)) ok = false, LogBadSetting("Path", path);
        if (ok) {
            m_host = host;
            m_path = path;
        }
    }

    std::string addr;
    uint16_t p = 0;
    if (!target.empty()) {
        if (SplitEndpoint(target, &addr, &p) && p != 0) {
            m_dgramTarget = target;
        } else {
            LogBadSetting("DatagramTarget", target);
        }
    }
    if (!bind.empty()) {
        if (SplitEndpoint(bind, &addr, &p)) {
            m_dgramBind = bind;
        } else {
            LogBadSetting("DatagramBind", bind);
            m_dgramTarget.clear();  // never send from an address other than the one configured
        }
    }
}

std::string CSrvSettings::Url() const {
    if (m_host.empty()) return {};
    return std::string(m_bSecure ? "https://" : "http://") + m_host + ":" + std::to_string(m_port) + m_path;
}
