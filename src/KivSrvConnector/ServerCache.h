// What a connector keeps: the installation's base information (registry layer) and the messages
// that could not be sent ("SeverConn.xml").
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "IKivSrvConnector.h"
#include "platform/KivNamedLock.h"

class TiXmlDocument;


class CServerCache {
public:
    using Clock = std::chrono::steady_clock;

    // Message files above this size are not parsed but set aside.
    static constexpr size_t kMaxFileBytes = 2u << 20;
    // The file keeps at most this many messages; later ones are logged and dropped.
    static constexpr size_t kMaxMessages = 1000;
    static constexpr const char* kFileName = "SeverConn.xml";

    CServerCache() = default;
    ~CServerCache();
    CServerCache(const CServerCache&) = delete;
    CServerCache& operator=(const CServerCache&) = delete;

    // Loads the message file at path (made absolute), creating it when missing; a file that is
    // not ours (malformed, over the size limit, not a regular file) is renamed "<path>.bad" and
    // replaced. Waits at most until the deadline for another writer of the file.
    bool OpenMessageFile(const std::string& path, Clock::time_point deadline);
    bool IsOpen() const { return !m_path.empty(); }
    // The messages of the file and those kept since.
    const std::vector<KivSrvMessage>& Messages() const { return m_messages; }
    // Keeps a message and writes it out at once; false when it could not be written yet (it is
    // retried by the next write and at destruction).
    bool Keep(const KivSrvMessage& msg, Clock::time_point deadline);

    // The registry value "ProductBaseInfo": exactly 32 bytes, else 0x010.
    KivResult ReadBaseInfo(KivProductBaseInfo* pInfo);
    KivResult WriteBaseInfo(const KivProductBaseInfo* pInfo);
    // Stores the given information; an installation keeps the first GUID it stored, and an
    // unchanged value is not written again.
    KivResult MergeBaseInfo(const KivProductBaseInfo* pInfo);

    // Parses a message file's text: true with its messages when the text is a document of ours
    // (a declaration and at most one "MESSAGES" root); entries with unusable attributes are
    // skipped. No DOCTYPE, no nesting deeper than a few levels, no NUL bytes.
    static bool ParseMessageFile(const std::string& text, TiXmlDocument* pDoc, std::vector<KivSrvMessage>* pOut);

private:
    enum class ReadState { Ok, Missing, Bad };
    ReadState ReadBounded(std::string* pText) const;
    // Under the file lock: reads the file (replacing a bad one), appends the pending messages and
    // writes it back whole.
    bool Sync(Clock::time_point deadline);
    bool WriteWhole(const std::string& text) const;
    bool LockUntil(Clock::time_point deadline);

    std::string m_path;
    std::unique_ptr<CKivNamedLock> m_pLock;
    std::vector<KivSrvMessage> m_messages;
    std::vector<KivSrvMessage> m_pending;
};
