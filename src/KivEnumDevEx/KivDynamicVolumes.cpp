#include "KivDynamicVolumes.h"

void KivEnumDynamicVolumes(const std::vector<DiskInfo>& disks, std::vector<PartInfo>* pOut) {}
