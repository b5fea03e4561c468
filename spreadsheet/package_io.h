// The file side of a workbook: reading a package from disk and unpacking its parts, packing parts
// into a package and writing it atomically, lock files of desktop spreadsheets, and the error
// texts that name the file.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace spreadsheet {

// The parts of a package in the order the package lists them, as (name, bytes).
using PackageParts = std::vector<std::pair<std::string, std::string>>;

// What the XML parts of a workbook may unpack to together (see XmlLimits), and so each one.
inline constexpr std::uint64_t kXmlBytes = 96ull * 1024 * 1024;

// How far a package may unpack. Parts of a workbook are XML and compress well, but not without
// bound: a part may unpack to ratio times its packed size (at least ratioFreeSize), a part
// named as XML (".xml", ".rels") to xmlPart bytes, and the whole package, and the file itself,
// to total bytes.
struct PackageLimits {
    std::uint64_t total = 160ull * 1024 * 1024;
    std::uint64_t ratio = 100;
    std::uint64_t ratioFreeSize = 1024 * 1024;
    std::uint64_t xmlPart = kXmlBytes;
};

// Reads and unpacks the package at path (a part that occurs twice counts once). The sizes the
// zip directory declares are checked against the limits before anything is unpacked; a part is
// unpacked no further than it declares, so memory follows the data a part truly holds. Throws
// XlsxError naming the file when it is missing or unreadable, is no valid package or unpacks
// past limits.
PackageParts ReadPackage(const std::string& path, const PackageLimits& limits = {});
// Packs the named parts, in that order with the content types first. Throws XlsxError.
std::string PackParts(const std::vector<std::string>& order, const std::unordered_map<std::string, std::string>& parts);
// Writes the bytes to path atomically (a temporary file in the same folder, then a rename).
// Throws XlsxError; on failure nothing is left behind and the old file is intact.
void WriteFileAtomically(const std::string& requested, const std::string& bytes);

// A path in quotes, as error texts show it.
std::string Quoted(const std::string& path);
std::string ParentFolder(const std::string& path);
std::string FileName(const std::string& path);
// The lock file a desktop spreadsheet keeps beside a workbook it has open.
std::string LockFileFor(const std::string& path);

}  // namespace spreadsheet
