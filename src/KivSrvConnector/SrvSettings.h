// Where and how the statistics library reports. Every address is a setting and the shipped
// defaults point nowhere: with an empty host (or datagram target) nothing is sent or kept.
#pragma once

#include <cstdint>
#include <string>

// The registry key of the product; the base information lives here and the settings in its
// sub-key "Statistics".
constexpr const char* KIV_SRV_REG_FIRST = "Software\\Tessmark";
constexpr const char* KIV_SRV_REG_SECOND = "Tessmark Undelia";
constexpr const char* KIV_SRV_REG_SETTINGS = "Statistics";

class CSrvSettings {
public:
    // Reads the registry values, then lets the UNDELIA_STATS_* environment variables override them
    // (a variable that is set wins, even when empty). Unusable values are logged and disable the
    // path they belong to.
    void Load();

    bool HttpEnabled() const { return !m_host.empty(); }
    bool DatagramEnabled() const { return !m_dgramTarget.empty(); }

    // "http[s]://host:port/path"; empty when the HTTP path is disabled.
    std::string Url() const;
    const std::string& Host() const { return m_host; }
    uint16_t Port() const { return m_port; }
    const std::string& Path() const { return m_path; }
    bool Secure() const { return m_bSecure; }
    // Whole-request limit, also the longest wait for the message file.
    long TimeoutMs() const { return m_nTimeoutMs; }
    // Numeric "address:port" or "[v6 address]:port"; the bind address may be empty (any).
    const std::string& DatagramBind() const { return m_dgramBind; }
    const std::string& DatagramTarget() const { return m_dgramTarget; }

    // Checks used by Load, open for tests.
    static bool IsValidHost(const std::string& host);
    static bool IsValidPath(const std::string& path);
    static bool ParsePort(const std::string& text, uint16_t* pPort);
    // Splits a numeric endpoint into address and port (brackets removed); false when malformed.
    static bool SplitEndpoint(const std::string& text, std::string* pAddr, uint16_t* pPort);

private:
    std::string m_host;
    uint16_t m_port = 82;
    std::string m_path = "/StatisticAction?method=add";
    bool m_bSecure = false;
    long m_nTimeoutMs = 5000;
    std::string m_dgramBind;
    std::string m_dgramTarget;
};
