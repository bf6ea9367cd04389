// The comment header of Vorbis, Opus and FLAC streams: a vendor text and "KEY=value" texts.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// The value of the first TITLE comment (at most 100 bytes), or empty. data starts at the vendor
// length (after any packet prefix); every length is checked against it.
std::string KivVorbisCommentTitle(std::span<const uint8_t> data);
