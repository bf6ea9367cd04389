// The form body of one report and the pieces it is made of.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "IKivSrvConnector.h"

// The report body is bounded like the service's historical 256-byte buffer (terminator included).
constexpr size_t KIV_SRV_BODY_MAX = 255;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string KivGuidText(const KivProductBaseInfo& info);

// Percent-encodes everything but A-Z a-z 0-9 - . _ ~, whole characters at a time, stopping before
// the character whose encoding would pass nMaxBytes (a UTF-8 sequence is never split).
std::string KivFormEncode(std::string_view text, size_t nMaxBytes);

// "guid=...&productId=..&edit=..&vermajor=..&verminor=..&isString=..&val=..&type=..", the text value
// encoded and cut so the body fits KIV_SRV_BODY_MAX.
std::string KivBuildReportBody(const KivProductBaseInfo& info, const KivSrvMessage& msg);

// Base information to and from its 32 stored bytes (little-endian).
void KivBaseInfoToBytes(const KivProductBaseInfo& info, unsigned char out[32]);
KivProductBaseInfo KivBaseInfoFromBytes(const unsigned char in[32]);
