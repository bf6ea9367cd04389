// Scoring and selection of the candidate partitions the scanners propose.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "KivScanResult.h"

// Candidates whose size is within this many sectors of the device count as the whole device.
constexpr uint64_t KIV_WHOLE_DEVICE_SLACK = 32768;

// Scores every candidate (log of its weighted evidence over the log of the best one), sorts the
// list best first (stable), selects the best non-overlapping candidates that fit the device, then
// marks the first whole-device candidate. Selected candidates of the first four picks, and the
// whole-device one, move up to position 1 when they stand further down, taking over the score of
// the candidate that stood there. Only the flags, the scores and the order of the list change.
//
// hasTree, when given, is asked about each candidate before it is selected: a candidate without a
// tree behind it (a backup copy of a boot sector taken for a volume of its own, a mirror record
// taken for the MFT) is never selected, and so never takes the place of a volume that has one.
using KivHasTreeFn = std::function<bool(CKivScanResPart*)>;
void KivScoreAndSelectParts(std::vector<CKivScanResPart*>& list, uint64_t nDeviceSectors,
                            const KivHasTreeFn& hasTree = {});
