#include "Ntfs/CKivNtfsFileRecord.h"

#include "KivByteReader.h"
#include "platform/KivPlatform.h"

bool KivNtfsApplyFixups(std::span<uint8_t> rec) {
    KivByteReader r(rec);
    uint16_t usaOff = r.U16At(KivNtfsRecordAt::kUsaOffset);
    uint16_t usaCount = r.U16At(KivNtfsRecordAt::kUsaCount);
    if (!r.Ok() || usaCount < 2) return false;
    size_t nStrides = usaCount - 1;
    // The array must lie inside the record and cover no more strides than the record has.
    if (nStrides > rec.size() / 512 || !r.Has(usaOff, size_t(usaCount) * 2)) return false;
    uint16_t usn = r.U16At(usaOff);
    for (size_t i = 0; i < nStrides; ++i) {
        size_t end = (i + 1) * 512 - 2;
        if (r.U16At(end) != usn) return false;
        rec[end] = rec[usaOff + 2 + 2 * i];
        rec[end + 1] = rec[usaOff + 3 + 2 * i];
    }
    return true;
}

bool CKivNtfsFileRecord::Parse(std::span<const uint8_t> data) {
    m_attrs.clear();
    KivByteReader h(data);
    if (!h.Equals(0, "FILE", 4)) return false;
    uint32_t allocated = h.U32At(KivNtfsRecordAt::kAllocated);
    if (!h.Ok() || allocated < 512 || allocated > 65536 || allocated % 512 || allocated > data.size()) return false;
    m_bytes.assign(data.begin(), data.begin() + allocated);
    if (!KivNtfsApplyFixups(m_bytes)) return false;

    KivByteReader r(m_bytes);
    m_nSequence = r.U16At(KivNtfsRecordAt::kSequence);
    uint16_t attrOff = r.U16At(KivNtfsRecordAt::kFirstAttr);
    m_nFlags = r.U16At(KivNtfsRecordAt::kFlags);
    uint32_t used = r.U32At(KivNtfsRecordAt::kUsed);
    m_nBaseRef = r.U64At(KivNtfsRecordAt::kBaseRef);
    m_nAllocated = allocated;
    m_nRecordNumber = attrOff >= 0x30 ? r.U32At(KivNtfsRecordAt::kNumber) : 0xFFFFFFFF;
    if (!r.Ok() || attrOff < 0x2A || attrOff >= allocated) return false;
    if (used > allocated) used = allocated;

    size_t off = attrOff;
    // Each attribute is at least 16 bytes long, so the walk ends within allocated / 16 steps.
    while (off + 8 <= used) {
        uint32_t type = r.U32At(off);
        if (type == KIV_NTFS_AT_END) break;
        uint32_t len = r.U32At(off + 4);
        if (len < 16 || len % 8 || len > used - off) break;
        KivByteReader a(std::span<const uint8_t>(m_bytes).subspan(off, len));
        KivNtfsAttr at;
        at.nType = type;
        at.nOffset = uint32_t(off);
        at.bNonResident = a.U8At(8) != 0;
        uint8_t nameLen = a.U8At(9);
        uint16_t nameOff = a.U16At(10);
        at.nFlags = a.U16At(12);
        if (nameLen) {
            if (!a.Has(nameOff, size_t(nameLen) * 2)) break;
            for (size_t i = 0; i < nameLen; ++i) at.name.push_back(char16_t(a.U16At(nameOff + 2 * i)));
        }
        if (!at.bNonResident) {
            uint32_t vlen = a.U32At(16);
            uint16_t voff = a.U16At(20);
            if (!a.Has(voff, vlen)) break;
            at.value = a.SpanAt(voff, vlen);
            at.nValueOffset = uint32_t(off + voff);
        } else {
            at.nStartVcn = a.U64At(16);
            at.nLastVcn = a.U64At(24);
            uint16_t mpOff = a.U16At(32);
            at.nCompressionUnit = a.U16At(34);
            at.nAllocatedSize = a.U64At(40);
            at.nRealSize = a.U64At(48);
            if (!a.Ok() || mpOff < 64 || mpOff > len) break;
            at.mappingPairs = a.SpanAt(mpOff, len - mpOff);
        }
        if (!a.Ok()) break;
        m_attrs.push_back(std::move(at));
        off += len;
    }
    return true;
}

bool CKivNtfsFileRecord::DecodeFileName(const KivNtfsAttr& a, KivNtfsFileName* pOut) {
    if (a.bNonResident) return false;
    KivByteReader r(a.value);
    pOut->nParentRef = r.U64At(0);
    pOut->nCTime = r.U64At(8);
    pOut->nMTime = r.U64At(16);
    pOut->nATime = r.U64At(32);
    pOut->nAllocated = r.U64At(40);
    pOut->nRealSize = r.U64At(48);
    pOut->nFlags = r.U32At(56);
    uint8_t n = r.U8At(64);
    pOut->nNamespace = r.U8At(65);
    if (!r.Ok() || !r.Has(66, size_t(n) * 2)) return false;
    pOut->name.clear();
    for (size_t i = 0; i < n; ++i) pOut->name.push_back(char16_t(r.U16At(66 + 2 * i)));
    return true;
}

bool CKivNtfsFileRecord::DecodeStdInfo(const KivNtfsAttr& a, KivNtfsStdInfo* pOut) {
    if (a.bNonResident) return false;
    KivByteReader r(a.value);
    pOut->nCTime = r.U64At(0);
    pOut->nMTime = r.U64At(8);
    pOut->nATime = r.U64At(24);
    pOut->nAttributes = r.U32At(32);
    return r.Ok();
}

void CKivNtfsFileRecord::DecodeAttributeList(std::span<const uint8_t> value, std::vector<KivNtfsListEntry>* pOut) {
    KivByteReader r(value);
    size_t off = 0;
    while (r.Has(off, 26)) {
        uint16_t len = r.U16At(off + 4);
        if (len < 26 || !r.Has(off, len)) break;
        KivNtfsListEntry e;
        e.nType = r.U32At(off);
        uint8_t nameLen = r.U8At(off + 6);
        uint8_t nameOff = r.U8At(off + 7);
        e.nStartVcn = r.U64At(off + 8);
        e.nRecordRef = r.U64At(off + 16);
        if (nameLen && r.Has(off + nameOff, size_t(nameLen) * 2) && size_t(nameOff) + nameLen * 2u <= len)
            for (size_t i = 0; i < nameLen; ++i) e.name.push_back(char16_t(r.U16At(off + nameOff + 2 * i)));
        pOut->push_back(std::move(e));
        off += len;
    }
}

std::u16string CKivNtfsFileRecord::SystemName() const {
    static const char16_t* kNames[] = {u"$MFT",    u"$MFTMirr", u"$LogFile", u"$Volume", u"$AttrDef",
                                       u"$Bitmap", u"$Boot",    u"$BadClus", u"$Secure", u"$UpCase",
                                       u"$Extend", u"$Quota",   u"$ObjId",   u"$Reparse"};
    bool hiddenSystem = false, sawStd = false;
    for (const auto& a : m_attrs) {
        if (a.nType == KIV_NTFS_AT_STANDARD_INFORMATION && !sawStd) {
            KivNtfsStdInfo si;
            sawStd = true;
            hiddenSystem = DecodeStdInfo(a, &si) && (si.nAttributes & 0x06) == 0x06;
        } else if (a.nType == KIV_NTFS_AT_FILE_NAME) {
            KivNtfsFileName fn;
            if (!hiddenSystem || !DecodeFileName(a, &fn)) return {};
            for (auto* n : kNames)
                if (fn.name == n) return fn.name;
            return {};
        }
    }
    return {};
}

std::string KivNtfsNameToUtf8(const std::u16string& name) { return KivUtf16ToUtf8(name); }
