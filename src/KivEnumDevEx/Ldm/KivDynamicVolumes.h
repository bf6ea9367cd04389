// Dynamic-disk volumes: the LDM database of the given disks read into volumes, one partition
// record each.
#pragma once

#include <vector>

#include "IKivEnumDevEx.h"

// Reads the database of every disk, builds each volume once (a volume over several disks is
// listed once) and appends one record per volume.
void KivEnumDynamicVolumes(const std::vector<DiskInfo>& disks, std::vector<PartInfo>* pOut);
