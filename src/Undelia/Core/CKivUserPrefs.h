// What the programs remember for the user between runs: the main window's size, the folder last
// chosen for recovered files and the one for reports. Kept as "undelia.ini" in the user's
// configuration folder; a file that is missing or cannot be read only means the defaults, and one
// that cannot be written is not worth a message.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class CKivUserPrefs {
public:
    // Keys of the values the front ends keep.
    static constexpr const char* kWindowWidth = "WindowWidth";
    static constexpr const char* kWindowHeight = "WindowHeight";
    static constexpr const char* kLastDestination = "LastDestination";
    static constexpr const char* kLastReportFolder = "LastReportFolder";

    // The process's preferences, read from the configuration folder on first use.
    static CKivUserPrefs& Get();

    // Reads the file (what was held before is dropped); false when there is none to read.
    bool Load(const std::string& strPath);
    const std::string& Path() const { return m_strPath; }

    std::string GetText(const char* pszKey, const std::string& def = {}) const;
    int64_t GetInt(const char* pszKey, int64_t nDefault) const;
    void SetText(const char* pszKey, const std::string& strValue);
    void SetInt(const char* pszKey, int64_t nValue);

    // Writes the file whole. Never onto the medium being scanned (strScanMedium, may be empty):
    // its free space may still hold what is to be recovered. False with the reason otherwise.
    bool Save(const std::string& strScanMedium, std::string* pWhy = nullptr) const;

private:
    std::string m_strPath;
    std::map<std::string, std::string> m_values;
};
