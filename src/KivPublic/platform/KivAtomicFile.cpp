#include "platform/KivAtomicFile.h"

#include <cerrno>
#include <cstring>

#include "platform/KivFile.h"
#include "platform/KivFileUtil.h"
#include "platform/KivPlatform.h"

namespace {

bool Failed(std::string* pWhy, const std::string& strWhat, int nErr) {
    if (pWhy) *pWhy = strWhat + ": " + std::strerror(nErr);
    return false;
}

}  // namespace

bool KivWriteFileAtomic(const std::string& strPath, const std::vector<std::pair<const void*, size_t>>& pieces,
                        std::string* pWhy) {
    // Same folder, so that the rename never crosses file systems; the process id keeps two
    // writers of one path apart.
    std::string strTmp = strPath + ".tmp." + std::to_string(KivProcessId());
    CKivFile f;
    if (!f.Open(strTmp, CKivFile::Mode::kCreateTrunc)) return Failed(pWhy, strTmp, errno);
    for (const auto& [p, n] : pieces) {
        if (!f.WriteAll(p, n)) {
            int e = errno ? errno : EIO;
            f.Close();
            KivRemoveFile(strTmp);
            return Failed(pWhy, strTmp, e);
        }
    }
    if (!f.Sync() || !f.Close()) {
        int e = errno;
        f.Close();
        KivRemoveFile(strTmp);
        return Failed(pWhy, strTmp, e);
    }
    if (!KivRenamePath(strTmp, strPath)) {
        int e = errno;
        KivRemoveFile(strTmp);
        return Failed(pWhy, strPath, e);
    }
    // The rename itself lasts only once the folder is on the medium.
    KivSyncDir(KivDirOf(strPath));
    return true;
}

bool KivReadWholeFile(const std::string& strPath, std::vector<uint8_t>* pOut, std::string* pWhy) {
    CKivFile f;
    if (!f.Open(strPath, CKivFile::Mode::kRead)) return Failed(pWhy, strPath, errno);
    if (!KivIsFile(strPath)) {
        if (pWhy) *pWhy = strPath + ": not a regular file";
        return false;
    }
    uint64_t nSize = 0;
    if (!f.Size(&nSize)) return Failed(pWhy, strPath, errno);
    pOut->clear();
    pOut->reserve(static_cast<size_t>(nSize));
    uint8_t buf[1 << 16];
    for (;;) {
        int64_t r = f.Read(buf, sizeof buf);
        if (r < 0) return Failed(pWhy, strPath, errno);
        if (r == 0) break;
        pOut->insert(pOut->end(), buf, buf + r);
    }
    return true;
}
