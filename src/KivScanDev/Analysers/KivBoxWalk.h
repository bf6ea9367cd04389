// ISO base media files (HEIF/AVIF pictures, CR3 raws, MP4 and QuickTime movies): the brands of
// their file-type box and the walk over their top-level boxes.
#pragma once

#include <cstdint>
#include <span>

#include "IKivDevStor.h"
#include "Model/CRawFileInfo.h"

// The carving type that a file-type box's major brand (bytes 8-11 of the file) stands for when a
// picture or raw analyser claims it: 75 HEIC, 76 AVIF, 77 CR3; 0 for the brands of movies.
uint32_t KivIsoBrandType(std::span<const uint8_t> sector);

// Walks the top-level boxes from offset 0 (the file-type box) while they are of the kinds such a
// file holds at its top level; the file ends after the last one. Every box type of nRequired
// (four characters each, concatenated) must have been seen, else false. A box that runs past the
// data or the size cap, or a box of size 0 ("to the end of the file"), ends the file as one whose
// end was not found.
bool KivMeasureIsoBoxes(CRawFileInfo* pInfo, IKivDevStor* pStor, std::span<const char> required);
