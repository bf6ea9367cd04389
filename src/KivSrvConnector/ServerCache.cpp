#include "ServerCache.h"

#include <tinyxml.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "KivLog.h"
#include "KivReg.h"
#include "SrvReportBody.h"
#include "SrvSettings.h"
#include "platform/KivFile.h"
#include "platform/KivFileUtil.h"
#include "platform/KivNamedLock.h"
#include "platform/KivPlatform.h"

namespace {

constexpr const char* kBaseInfoValue = "ProductBaseInfo";
// Our documents are a root and its entries; anything deeper is not ours, and TinyXML's parser
// recurses once per level.
constexpr int kMaxDepth = 4;

bool ParseInt32(const char* psz, int32_t* pOut) {
    if (!psz || !*psz || std::strlen(psz) > 11) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(psz, &end, 10);
    if (errno || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    *pOut = static_cast<int32_t>(v);
    return true;
}

// A cheap look over the raw text before TinyXML sees it: its nesting depth and number of tags,
// quotes only after "=". False for anything our own writer never makes.
bool LooksLikeOurs(const std::string& text) {
    if (text.find('\0') != std::string::npos) return false;
    int depth = 0;
    size_t tags = 0;
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        if (text[i] != '<') {
            ++i;
            continue;
        }
        if (i + 1 >= n) return false;
        char next = text[i + 1];
        if (next == '!') return false;  // DOCTYPE, ENTITY, CDATA, comments: none of ours
        if (next == '?') {
            size_t e = text.find("?>", i + 2);
            if (e == std::string::npos) return false;
            i = e + 2;
            continue;
        }
        if (++tags > CServerCache::kMaxMessages + 8) return false;
        bool closing = next == '/';
        size_t j = i + 1;
        char quote = 0;
        bool afterEq = false;
        for (; j < n; ++j) {
            char c = text[j];
            if (quote) {
                if (c == quote) quote = 0;
                continue;
            }
            if (c == '>') break;
            if (c == '<') return false;
            if (c == '"' || c == '\'') {
                if (!afterEq) return false;
                quote = c;
                afterEq = false;
                continue;
            }
            if (c == '=') {
                afterEq = true;
            } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                afterEq = false;
            }
        }
        if (j >= n) return false;
        if (closing) {
            if (--depth < 0) return false;
        } else if (text[j - 1] != '/') {
            if (++depth > kMaxDepth) return false;
        }
        i = j + 1;
    }
    return true;
}

void NewDocument(TiXmlDocument* pDoc) {
    pDoc->Clear();
    pDoc->LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    pDoc->LinkEndChild(new TiXmlElement("MESSAGES"));
}

CKivReg BaseInfoKey() {
    CKivReg reg;
    reg.SetRegPath(KIV_REG_CURRENT_USER, KIV_SRV_REG_FIRST, KIV_SRV_REG_SECOND);
    return reg;
}

std::string AbsolutePath(const std::string& path) { return KivAbsolutePath(path); }

}  // namespace

CServerCache::~CServerCache() {
    if (m_pending.empty()) return;
    // A last try, bounded like every other wait for the file.
    bool kept = false;
    try {
        kept = Sync(Clock::now() + std::chrono::seconds(2));
    } catch (...) {
    }
    if (!kept) {
        for (const auto& m : m_pending) {
            KivLogA(0, "KivSrvConnector: message of type %d not kept (%s cannot be written)", m.nType, m_path.c_str());
        }
    }
}

bool CServerCache::ParseMessageFile(const std::string& text, TiXmlDocument* pDoc, std::vector<KivSrvMessage>* pOut) {
    pOut->clear();
    pDoc->Clear();
    if (!LooksLikeOurs(text)) return false;
    pDoc->Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (pDoc->Error()) return false;
    TiXmlElement* pRoot = nullptr;
    for (TiXmlNode* p = pDoc->FirstChild(); p; p = p->NextSibling()) {
        if (p->ToDeclaration()) continue;
        TiXmlElement* e = p->ToElement();
        if (!e || pRoot || e->ValueStr() != "MESSAGES") return false;
        pRoot = e;
    }
    if (!pRoot) {  // a file holding only the declaration
        pRoot = new TiXmlElement("MESSAGES");
        pDoc->LinkEndChild(pRoot);
    }
    for (TiXmlElement* e = pRoot->FirstChildElement("MESSAGE"); e; e = e->NextSiblingElement("MESSAGE")) {
        int32_t type = 0, value = 0;
        const char* pszIs = e->Attribute("IsString");
        const char* pszValue = e->Attribute("VALUE");
        if (!ParseInt32(e->Attribute("TYPE"), &type) || !pszIs || !pszValue) continue;
        if (std::strcmp(pszIs, "1") == 0) {
            pOut->push_back(KivMakeTextMessage(type, pszValue));
        } else if (std::strcmp(pszIs, "0") == 0 && ParseInt32(pszValue, &value)) {
            pOut->push_back(KivMakeNumberMessage(type, value));
        }
    }
    return true;
}

CServerCache::ReadState CServerCache::ReadBounded(std::string* pText) const {
    pText->clear();
    // Non-blocking, so a FIFO put in the file's place cannot hold the caller.
    CKivFile f;
    if (!f.Open(m_path, CKivFile::Mode::kReadNonBlocking)) return errno == ENOENT ? ReadState::Missing : ReadState::Bad;
    uint64_t nSize = 0;
    if (!f.IsRegular() || !f.Size(&nSize) || nSize > kMaxFileBytes) return ReadState::Bad;
    std::string text(static_cast<size_t>(nSize) + 1, '\0');
    int64_t got = f.Read(&text[0], text.size());
    if (got < 0) return ReadState::Bad;
    if (static_cast<uint64_t>(got) > kMaxFileBytes) return ReadState::Bad;  // grew while read
    text.resize(static_cast<size_t>(got));
    *pText = std::move(text);
    return ReadState::Ok;
}

bool CServerCache::WriteWhole(const std::string& text) const {
    // Written beside and renamed over: a reader (or a crash) never sees half a file.
    std::string tmp = m_path + ".tmp" + std::to_string(KivProcessId());
    KivRemoveFile(tmp);
    CKivFile f;
    if (!f.Open(tmp, CKivFile::Mode::kCreateNew, true)) return false;
    bool ok = f.WriteAll(text.data(), text.size()) && f.Sync();
    ok = f.Close() && ok;
    if (!ok || !KivRenamePath(tmp, m_path)) {
        KivRemoveFile(tmp);
        return false;
    }
    return true;
}

bool CServerCache::LockUntil(Clock::time_point deadline) {
    for (;;) {
        if (m_pLock->TryLock()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool CServerCache::Sync(Clock::time_point deadline) {
    if (!m_pLock || !LockUntil(deadline)) {
        KIV_LOGERR(KIV_ERR(KIV_E_TIMEOUT));
        return false;
    }
    TiXmlDocument doc;
    std::vector<KivSrvMessage> inFile;
    std::string text;
    bool changed = !m_pending.empty();
    ReadState rs = ReadBounded(&text);
    if (rs == ReadState::Ok && ParseMessageFile(text, &doc, &inFile)) {
        // kept as read
    } else {
        if (rs != ReadState::Missing) {
            std::string bad = m_path + ".bad";
            if (!KivRenamePath(m_path, bad)) {
                m_pLock->Unlock();
                KIV_LOGERR(KIV_ERR(KIV_E_IO));
                return false;
            }
            KivLogA(0, "KivSrvConnector: %s is not a message file; set aside as %s", m_path.c_str(), bad.c_str());
        }
        NewDocument(&doc);
        inFile.clear();
        changed = true;
    }
    if (changed) {
        TiXmlElement* pRoot = doc.FirstChildElement("MESSAGES");
        size_t count = 0;
        for (TiXmlElement* e = pRoot->FirstChildElement(); e; e = e->NextSiblingElement()) ++count;
        for (const auto& m : m_pending) {
            if (count >= kMaxMessages) {
                KivLogA(0, "KivSrvConnector: %s is full; message of type %d dropped", m_path.c_str(), m.nType);
                continue;
            }
            auto* e = new TiXmlElement("MESSAGE");
            e->SetAttribute("TYPE", m.nType);
            e->SetAttribute("IsString", m.bIsString ? 1 : 0);
            if (m.bIsString) {
                e->SetAttribute("VALUE", std::string(m.szText, ::strnlen(m.szText, sizeof(m.szText))).c_str());
            } else {
                e->SetAttribute("VALUE", m.nValue);
            }
            pRoot->LinkEndChild(e);
            inFile.push_back(m);
            ++count;
        }
        TiXmlPrinter printer;
        doc.Accept(&printer);
        if (!WriteWhole(printer.Str())) {
            m_pLock->Unlock();
            KIV_LOGERR(KIV_ERR(KIV_E_IO));
            return false;
        }
    }
    m_pLock->Unlock();
    m_pending.clear();
    m_messages = std::move(inFile);
    return true;
}

bool CServerCache::OpenMessageFile(const std::string& path, Clock::time_point deadline) {
    m_path = AbsolutePath(path);
    if (m_path.empty()) return false;
    // One lock per message file, shared by every connector of every process of the user.
    char name[48];
    std::snprintf(name, sizeof(name), "SeverConn-%016zx", std::hash<std::string>{}(m_path));
    m_pLock = std::make_unique<CKivNamedLock>(name);
    return Sync(deadline);
}

bool CServerCache::Keep(const KivSrvMessage& msg, Clock::time_point deadline) {
    m_pending.push_back(msg);
    if (!IsOpen()) return false;
    return Sync(deadline);
}

KivResult CServerCache::ReadBaseInfo(KivProductBaseInfo* pInfo) {
    if (!pInfo) return KIV_RETERR(KIV_E_INVALIDARG);
    unsigned char buf[33];
    uint32_t n = sizeof(buf);
    CKivReg reg = BaseInfoKey();
    KivResult r = reg.ReadDataByReg(nullptr, kBaseInfoValue, buf, &n);
    if (KivFailed(r)) return r;
    if (n != 32) return KIV_RETERR(KIV_E_REGISTRY);  // not a value we wrote
    *pInfo = KivBaseInfoFromBytes(buf);
    return KIV_OK;
}

KivResult CServerCache::WriteBaseInfo(const KivProductBaseInfo* pInfo) {
    if (!pInfo) return KIV_RETERR(KIV_E_INVALIDARG);
    unsigned char buf[32];
    KivBaseInfoToBytes(*pInfo, buf);
    CKivReg reg = BaseInfoKey();
    return reg.WriteData2Reg(nullptr, kBaseInfoValue, buf, sizeof(buf));
}

KivResult CServerCache::MergeBaseInfo(const KivProductBaseInfo* pInfo) {
    if (!pInfo) return KIV_RETERR(KIV_E_INVALIDARG);
    KivProductBaseInfo next = *pInfo;
    KivProductBaseInfo stored{};
    bool haveStored = KivSucceeded(ReadBaseInfo(&stored));
    if (haveStored) {
        unsigned char a[32], b[32];
        KivBaseInfoToBytes(stored, a);
        static const unsigned char zero[16] = {};
        if (std::memcmp(a, zero, 16) != 0) {
            next.nGuidData1 = stored.nGuidData1;
            next.nGuidData2 = stored.nGuidData2;
            next.nGuidData3 = stored.nGuidData3;
            std::memcpy(next.aGuidData4, stored.aGuidData4, 8);
        }
        KivBaseInfoToBytes(next, b);
        if (std::memcmp(a, b, 32) == 0) return KIV_OK;
    }
    return WriteBaseInfo(&next);
}
