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
// Writes the bytes to path atomically. Throws XlsxError; on failure nothing is left behind and
// the old file is intact. The bytes go to a temporary file in the same folder that has no name
// (O_TMPFILE) and is put on disk; then a new target takes it as its name (a link), an old one is
// replaced by it through a temporary name and a rename; the folder is then put on disk too (a
// folder that cannot be is noted on standard error: the file is in place all the same). Where
// the file system makes no file without a name, or one cannot be named, the temporary file is
// named from the start. A named temporary file is locked (flock) while its save lasts; one that
// a killed save left behind is removed by the next save into the folder, of whatever target.
void WriteFileAtomically(const std::string& requested, const std::string& bytes);

// Writes the bytes to a new file and returns its path: path itself where no file has that name,
// else the first free one of "NAME-2.EXT", "NAME-3.EXT", ... (up to NAME-999.EXT); an existing
// file is never replaced. A name with a desktop spreadsheet's lock file beside it counts as taken.
// The file is whole and on disk before it gets its name, as with WriteFileAtomically, and the
// step that names it is the one that finds the name taken, so two saves racing for one name each
// end with a file of their own. Throws XlsxError; on failure nothing is left behind.
std::string WriteNewFile(const std::string& path, const std::string& bytes);
// path with "-number" before its extension; path itself for number 1.
std::string NumberedName(const std::string& path, int number);

// The moments of a save at which a test may stop it (and kill it there): the temporary file holds
// every byte, on disk, and is not in place yet (it may have no name); the temporary file has a
// name and the rename over the target comes next (not reached when a new target takes the file's
// name at once).
enum class SavePoint { Written, Named };
// The function every save of this process calls at those moments; none by default. For tests.
void SetSavePointHook(void (*hook)(SavePoint));

// A path in quotes, as error texts show it.
std::string Quoted(const std::string& path);
std::string ParentFolder(const std::string& path);
std::string FileName(const std::string& path);
// The lock file a desktop spreadsheet keeps beside a workbook it has open.
std::string LockFileFor(const std::string& path);

}  // namespace spreadsheet
