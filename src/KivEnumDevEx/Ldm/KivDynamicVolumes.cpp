#include "Ldm/KivDynamicVolumes.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "CKivVolBriefList.h"
#include "KivDiskText.h"
#include "Ldm/CKivLdmDatabase.h"
#include "Ldm/CKivVolDynMir.h"
#include "Ldm/CKivVolDynRaid5.h"
#include "Ldm/CKivVolDynSimp.h"
#include "Ldm/CKivVolDynStripy.h"

namespace {

constexpr uint64_t kMaxColumns = 64;

struct MemberDisk {
    IKivDevDisk* pDisk;
    CKivLdmDatabase db;
};

// Turns the records of one disk's database into volumes over the given disks.
class CVolumeBuilder {
public:
    CVolumeBuilder(const KivLdmRecords& recs, const std::vector<std::unique_ptr<MemberDisk>>& disks)
        : m_recs(recs), m_disks(disks) {}

    CKivVolDyn* Build(const KivLdmVolRec& v) {
        std::vector<const KivLdmCompRec*> comps;
        for (const KivLdmCompRec& c : m_recs.comps)
            if (c.nParentId == v.nId) comps.push_back(&c);
        if (comps.empty()) return nullptr;
        if (v.nVolType == 4) return Component(*comps[0], v, /*bRaid=*/true);
        if (v.nVolType != 3) return nullptr;
        if (comps.size() == 1) return Component(*comps[0], v, false);
        std::vector<CKivVolDyn*> members;
        for (size_t i = 0; i < 2; ++i)
            if (CKivVolDyn* m = Component(*comps[i], v, false)) members.push_back(m);
        if (members.empty()) return nullptr;
        return new CKivVolDynMir(std::move(members), Convert(v.nSize), v.nPartType);
    }

private:
    // The database counts 512-byte units; the disks may use larger sectors.
    uint32_t SectorSize() const {
        for (const auto& d : m_disks) return d->pDisk->GetSectorSize();
        return 512;
    }
    uint64_t Convert(uint64_t n512) const { return n512 * 512 / SectorSize(); }

    const MemberDisk* DiskOf(uint64_t nDiskId) const {
        for (const KivLdmDiskRec& d : m_recs.disks) {
            if (d.nId != nDiskId) continue;
            for (const auto& m : m_disks)
                if (m->db.Head().strDiskGuid == d.strGuid) return m.get();
            return nullptr;
        }
        return nullptr;
    }

    std::vector<KivDynExtent> Extents(const KivLdmCompRec& c) const {
        std::vector<KivDynExtent> out;
        for (const KivLdmPartRec& p : m_recs.parts) {
            if (p.nParentId != c.nId) continue;
            KivDynExtent e;
            const MemberDisk* m = DiskOf(p.nDiskId);
            e.pDisk = m ? m->pDisk : nullptr;
            e.nFirst = Convert((m ? m->db.Head().nDataStart : 0) + p.nStart);
            e.nOffset = Convert(p.nVolOffset);
            e.nCount = Convert(p.nSize);
            e.nColumn = p.nColumn;
            out.push_back(e);
        }
        return out;
    }

    CKivVolDyn* Component(const KivLdmCompRec& c, const KivLdmVolRec& v, bool bRaid) {
        std::vector<KivDynExtent> ext = Extents(c);
        if (ext.empty()) return nullptr;
        const uint64_t nSectors = Convert(v.nSize);
        if (bRaid || c.nType == 1 || c.nType == 3) {
            uint64_t k = c.nColumns;
            if (k == 0)
                for (const KivDynExtent& e : ext) k = std::max(k, e.nColumn + 1);
            uint64_t s = Convert(c.nStripe);
            if (k == 0 || k > kMaxColumns || s == 0) return nullptr;
            if (bRaid || c.nType == 3) {
                if (k < 2) return nullptr;
                return new CKivVolDynRaid5(std::move(ext), nSectors, v.nPartType, s, k);
            }
            return new CKivVolDynStripy(std::move(ext), nSectors, v.nPartType, s, k);
        }
        if (c.nType != 2) return nullptr;
        if (ext.size() == 1) return new CKivVolDynSimp(std::move(ext), nSectors, v.nPartType, "", v.strName);
        return new CKivVolDynSpan(std::move(ext), nSectors, v.nPartType);
    }

    const KivLdmRecords& m_recs;
    const std::vector<std::unique_ptr<MemberDisk>>& m_disks;
};

PartInfo MakeRecord(CKivVolDyn* pVol) {
    PartInfo r;
    std::memset(&r, 0, sizeof r);
    r.pDevice = pVol;
    r.nDynamic = 1;
    r.nSource = KIV_PART_DYNAMIC;
    r.nLayout = pVol->GetLayoutCode();
    CKivVolBriefList briefs(pVol, 0);
    IKivVolBrief* b = briefs.Lookup();
    r.nFsKind = b->GetFsKind();
    if (r.nFsKind != KIV_FSK_UNKNOWN) b->GetLabel(r.szLabel, sizeof r.szLabel);
    r.szLabel[sizeof r.szLabel - 1] = 0;
    std::string desc;
    const auto& ext = pVol->Extents();
    for (size_t i = 0; i < ext.size(); ++i) {
        if (i < 32) {
            KivPartExtent e{ext[i].nFirst, ext[i].nCount, ext[i].pDisk};
            std::memcpy(&r.extents[i], &e, sizeof e);
        }
        if (!ext[i].pDisk) continue;
        KivDiskDescriptor d;
        if (!ext[i].pDisk->GetDescriptor(&d)) continue;
        if (!desc.empty()) desc += "\n";
        desc += KivDiskDescription(d);
    }
    KivCopyText(r.szDesc, sizeof r.szDesc, desc);
    return r;
}

}  // namespace

void KivEnumDynamicVolumes(const std::vector<DiskInfo>& disks, std::vector<PartInfo>* pOut) {
    std::vector<std::unique_ptr<MemberDisk>> members;
    for (const DiskInfo& d : disks) {
        IKivDevDisk* p = d.pDisk;
        if (!p) continue;
        auto m = std::make_unique<MemberDisk>();
        m->pDisk = p;
        if (m->db.ReadFrom(p)) members.push_back(std::move(m));
    }
    // Every member disk carries the whole database: a volume over several disks is built from
    // each of them and listed once.
    std::vector<CKivVolDyn*> vols;
    for (const auto& m : members) {
        CVolumeBuilder builder(m->db.Records(), members);
        for (const KivLdmVolRec& v : m->db.Records().vols) {
            CKivVolDyn* p = builder.Build(v);
            if (!p) continue;
            bool bSeen = std::any_of(vols.begin(), vols.end(), [&](CKivVolDyn* q) { return q->IsSameVolume(p); });
            if (bSeen) p->Release();
            else vols.push_back(p);
        }
    }
    for (CKivVolDyn* p : vols) pOut->push_back(MakeRecord(p));
}
