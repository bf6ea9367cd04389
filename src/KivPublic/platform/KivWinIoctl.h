// The control codes of the Windows disk, volume and storage drivers the device back end uses, and
// decoders of their answers. The answers come from drivers and, in tests, from recordings: every
// field is read through the bounds-checked reader, and counts are checked against the bytes given.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum : uint32_t {
    KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x00070000,
    KIV_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX = 0x000700A0,
    KIV_IOCTL_DISK_GET_LENGTH_INFO = 0x0007405C,
    KIV_IOCTL_DISK_GET_DRIVE_LAYOUT = 0x0007400C,
    KIV_IOCTL_DISK_GET_DRIVE_LAYOUT_EX = 0x00070050,
    KIV_IOCTL_STORAGE_QUERY_PROPERTY = 0x002D1400,
    KIV_IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x002D1080,
    KIV_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS = 0x00560000,
};

// DISK_GEOMETRY (24 bytes), and DISK_GEOMETRY_EX's size behind it (32 bytes and more).
struct KivWinGeometry {
    uint64_t nCylinders = 0;
    uint32_t nMediaType = 0, nTracksPerCylinder = 0, nSectorsPerTrack = 0, nBytesPerSector = 0;
    bool bHasDiskSize = false;
    uint64_t nDiskSize = 0;
};
bool KivDecodeGeometry(std::span<const uint8_t> a, KivWinGeometry* pOut);

// GET_LENGTH_INFORMATION: the size in bytes.
bool KivDecodeLength(std::span<const uint8_t> a, uint64_t* pBytes);

// One partition of a drive layout.
struct KivWinPartition {
    uint64_t nStart = 0, nLength = 0;  // bytes
    uint32_t nNumber = 0;
    bool bGpt = false;
    uint8_t nMbrType = 0;
    uint8_t typeGuid[16] = {};
    std::u16string name;  // GPT only
};
struct KivWinLayout {
    uint32_t nStyle = 2;  // 0 MBR, 1 GPT, 2 raw
    uint32_t nMbrSignature = 0;
    std::vector<KivWinPartition> parts;
};
// DRIVE_LAYOUT_INFORMATION_EX (entries of 144 bytes from offset 48) and the older
// DRIVE_LAYOUT_INFORMATION (entries of 32 bytes from offset 8). Unused MBR slots (type 0, or
// length 0) are left out.
bool KivDecodeLayoutEx(std::span<const uint8_t> a, KivWinLayout* pOut);
bool KivDecodeLayout(std::span<const uint8_t> a, KivWinLayout* pOut);

// STORAGE_DEVICE_DESCRIPTOR: the texts at their offsets (cut at the answer's end; blanks trimmed).
struct KivWinStorageDesc {
    uint32_t nBusType = 0;
    bool bRemovable = false;
    std::string strVendor, strProduct, strRevision, strSerial;
};
bool KivDecodeStorageDescriptor(std::span<const uint8_t> a, KivWinStorageDesc* pOut);
// The input of IOCTL_STORAGE_QUERY_PROPERTY for the device descriptor (standard query).
std::vector<uint8_t> KivStorageDeviceQuery();

// VOLUME_DISK_EXTENTS: one extent per disk piece of a volume.
struct KivWinExtent {
    uint32_t nDisk = 0;
    uint64_t nStart = 0, nLength = 0;  // bytes
};
bool KivDecodeDiskExtents(std::span<const uint8_t> a, std::vector<KivWinExtent>* pOut);

// STORAGE_DEVICE_NUMBER: the disk (and partition, 0 for a whole disk) a device stands for.
bool KivDecodeDeviceNumber(std::span<const uint8_t> a, uint32_t* pDisk, uint32_t* pPartition);
