// Serial numbers of the physical drives, as the drives report them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace telemetry {

// The serial number in an ATA IDENTIFY block (at least 40 bytes): words 10 to
// 19, each word's high byte first, cut at a zero byte. Spaces are kept.
std::string SerialFromIdentify(const uint8_t* identify, size_t size);

// MID's disk part: the first route that yields a serial, trailing spaces
// removed: (1) SMART IDENTIFY on "\\.\PhysicalDrive0..15", (2) the SCSI
// miniport IDENTIFY on "\\.\Scsi0:..15:", (3) the storage device descriptor
// and (4) ATA pass-through IDENTIFY on "\\.\PhysicalDrive0..15". Empty when no
// drive answers.
std::string ReadMidDiskSerial();

// MID2's disk part: the serial of the first "\\.\PhysicalDrive%d" that
// reports one (device descriptor, else SMART IDENTIFY), spaces trimmed.
std::string ReadMid2DiskSerial();

}  // namespace telemetry
