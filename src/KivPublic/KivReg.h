// A small file-backed registry: keys are folders and values are files of raw bytes under
// $XDG_CONFIG_HOME/undelia (or ~/.config/undelia), one folder per root key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KivCommon.h"

enum KivRegRoot : uint32_t {
    KIV_REG_CURRENT_USER = 0,
    KIV_REG_LOCAL_MACHINE = 1,
};

class CKivReg {
public:
    CKivReg() = default;
    virtual ~CKivReg() = default;

    // Paths use "\\" or "/" between key names.
    void SetRegPath(KivRegRoot root, const char* pszFirstPath, const char* pszSecondPath);
    void Reset();

    // Writes a binary value root\first\second\subKey : value, creating the keys below the root.
    virtual KivResult WriteData2Reg(const char* pszSubKey, const char* pszValue, const void* pData, uint32_t nSize);
    // Reads a value; *pnSize is the buffer size in and the value size out (0x010 when too small).
    virtual KivResult ReadDataByReg(const char* pszSubKey, const char* pszValue, void* pBuf, uint32_t* pnSize);
    // Deletes one value (not the key).
    virtual KivResult DeleteRegKey(const char* pszSubKey, const char* pszValue);
    // Deletes the sub-key beneath the second path, with everything in it.
    virtual KivResult DeleteRegDir(const char* pszSubKey);

    // The folder of the store ("<config>/undelia/registry"); tests may point it elsewhere.
    static std::string StoreDir();
    static void SetStoreDir(const std::string& dir);
    // Appends the key names of a path to *pPieces, split a key path at "\\" and "/" (empty names skipped); false when a piece is "." or "..",
    // which could escape the store.
    static bool SplitKeyPath(const std::string& path, std::vector<std::string>* pPieces);

private:
    // What SetStoreDir set (empty: the default store).
    static std::string StoreOverride();
    // The folder of root\first\second[\subKey]; empty when a name is unusable.
    std::string KeyDir(const char* pszSubKey) const;
    KivRegRoot m_root = KIV_REG_CURRENT_USER;
    std::string m_first;
    std::string m_second;
};
