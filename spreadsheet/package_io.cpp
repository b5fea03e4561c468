#include "spreadsheet/package_io.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <unordered_set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include "core/file_system.h"
#include "spreadsheet/workbook.h"

namespace spreadsheet {

namespace {

constexpr zip_int64_t kMaxParts = 65535;
// The most numbered names a new file tries ("NAME.xlsx", "NAME-2.xlsx", ... "NAME-999.xlsx").
constexpr int kMaxNumberedNames = 999;

// "192 MB", or the bytes of a bound that is no whole number of megabytes.
std::string MegaBytes(std::uint64_t bytes)
{
    constexpr std::uint64_t mb = 1024 * 1024;
    return bytes % mb == 0 ? std::to_string(bytes / mb) + " MB" : std::to_string(bytes) + " bytes";
}

std::string ErrnoText(int err)
{
    switch (err) {
    case EACCES:
    case EPERM: return "permission denied";
    case ENOENT: return "it does not exist";
    case ENOSPC: return "the disk is full";
    case EROFS: return "the file system is read-only";
    case EDQUOT: return "the disk quota is exhausted";
    default: return core::ErrorText(err);
    }
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The whole file; a file larger than limit is refused unread.
std::string ReadWholeFile(const std::string& path, std::uint64_t limit)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT) {
            const std::string folder = ParentFolder(path);
            if (!IsFolder(folder))
                throw XlsxError("Cannot open " + Quoted(path) + ": the folder " + Quoted(folder) + " does not exist.");
            throw XlsxError("Cannot open " + Quoted(path) + ": the file does not exist.");
        }
        throw XlsxError("Cannot open " + Quoted(path) + ": " + ErrnoText(err) + ".");
    }
    if (S_ISDIR(st.st_mode)) throw XlsxError("Cannot open " + Quoted(path) + ": it is a folder, not a workbook.");
    if (static_cast<std::uint64_t>(st.st_size) > limit)
        throw XlsxError(Quoted(path) + " is not a valid .xlsx workbook: it is larger than " + MegaBytes(limit) + ".");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw XlsxError("Cannot open " + Quoted(path) + ": " + ErrnoText(err) + ".");
    }
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            throw XlsxError("Cannot read " + Quoted(path) + ": " + ErrnoText(err) + ".");
        }
        if (n == 0) break;
        if (data.size() + static_cast<std::size_t>(n) > limit) {
            ::close(fd);
            throw XlsxError(Quoted(path) + " is not a valid .xlsx workbook: it is larger than " + MegaBytes(limit) +
                            ".");
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

mode_t DefaultFileMode()
{
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

void (*g_savePointHook)(SavePoint) = nullptr;

void AtSavePoint(SavePoint point)
{
    if (g_savePointHook != nullptr) g_savePointHook(point);
}

// A temporary file of a save that has a name is named ".NAME.qelsave-XXXXXX" beside its target
// NAME (six letters or digits). A save holds an exclusive lock (flock) on its temporary file from
// before it has a name (or just after, when it is made with one) until it has taken the target's
// place, so a named temporary that no lock holds is one that a killed save left behind.
constexpr char kTemporaryMark[] = ".qelsave-";
constexpr std::size_t kTemporaryMarkSize = sizeof kTemporaryMark - 1;
constexpr std::size_t kTemporaryLetters = 6;

std::string TemporaryPattern(const std::string& folder, const std::string& target)
{
    return folder + "/." + target + kTemporaryMark + std::string(kTemporaryLetters, 'X');
}

bool IsTemporaryName(const std::string& entry)
{
    const std::size_t tail = kTemporaryMarkSize + kTemporaryLetters;
    if (entry.size() < tail + 2 || entry.front() != '.') return false;
    const std::size_t mark = entry.size() - tail;
    if (entry.compare(mark, kTemporaryMarkSize, kTemporaryMark) != 0) return false;
    return std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(mark + kTemporaryMarkSize), entry.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// Whether the name still leads to the open file fd: no other process removed or replaced it.
bool NameLeadsTo(const std::string& path, int fd)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// Makes and locks a new temporary file for the target; -1 with errno on failure. A clean-up in
// another process may take the file between its creation and the lock, and remove it: then the
// name no longer leads to the locked file, and a new one is made.
int CreateLockedTemporary(const std::string& folder, const std::string& target, std::string& temp)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = TemporaryPattern(folder, target);
        const int fd = ::mkstemp(temp.data());
        if (fd < 0) return -1;
        const bool locked = ::flock(fd, LOCK_EX) == 0;
        const bool stillNamed = NameLeadsTo(temp, fd);
        if (locked && stillNamed) return fd;
        if (stillNamed) ::unlink(temp.c_str());
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

// Removes the temporary files that saves into the folder left behind when they were killed, of
// whatever target: those of this user that no save holds locked. A save in progress holds its
// lock, so it is never touched. Nothing here makes the save fail.
void RemoveAbandonedTemporaries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsTemporaryName(entry->d_name)) candidates.push_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string& name : candidates) {
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && NameLeadsTo(path, fd))
            ::unlink(path.c_str());
        ::close(fd);
    }
}

// A new file in the folder that has no name: it is gone with the last descriptor, so nothing of
// it outlives a killed save. -1 where the file system cannot make one (or for any other reason:
// a save then goes the named way, which tells what is wrong).
int CreateUnnamedTemporary(const std::string& folder)
{
    return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

using core::NameOpenFile;

// Six letters or digits for a temporary name.
std::string RandomLetters()
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[kTemporaryLetters] = {};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        const auto seed = static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(::time(nullptr));
        for (std::size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<unsigned char>(seed >> (i * 5));
    }
    std::string letters;
    for (unsigned char r : random) letters += kLetters[r % (sizeof kLetters - 1)];
    return letters;
}

// Gives the open unnamed file fd a temporary name beside the target, set in temp; 0 or the errno
// (temp then unchanged).
int NameTemporary(int fd, const std::string& folder, const std::string& target, std::string& temp)
{
    const std::string pattern = TemporaryPattern(folder, target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = pattern.substr(0, pattern.size() - kTemporaryLetters) + RandomLetters();
        const int err = NameOpenFile(fd, name);
        if (err == 0) temp = name;
        if (err != EEXIST) return err;
    }
    return EEXIST;
}

// Writes every byte to fd, gives it the mode and puts it on disk; 0 or the errno.
int FillFile(int fd, const std::string& bytes, mode_t mode)
{
    if (const int err = core::WriteAll(fd, bytes.data(), bytes.size())) return err;
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) return errno;
    return 0;
}

// A save goes into a folder that is there; the program never makes one.
void RequireFolderOfSave(const std::string& requested, const std::string& folder)
{
    if (!IsFolder(folder))
        throw XlsxError("Cannot save " + Quoted(requested) + ": the folder " + Quoted(folder) + " does not exist.");
}

// After a file took its name in the folder: the folder's entry goes to disk as well, or a power
// cut could still lose the file the save said it made. A folder that cannot be synced does not
// undo the save (the file is whole and in place); it is noted.
void SyncFolderOfSave(const std::string& folder)
{
    if (const int err = core::SyncFolder(folder)) {
        std::fprintf(stderr, "Note: the folder %s was not synced after a save: %s\n", Quoted(folder).c_str(),
                     ErrnoText(err).c_str());
    }
}

// Moves the named temporary to the name `to` only where no file has that name: 0 or the errno
// (EEXIST when the name is taken). Where the file system cannot refuse a rename so, a second
// name (link) is made and the temporary one removed, which refuses the same way.
int MoveToNewName(const std::string& temp, const std::string& to)
{
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (::link(temp.c_str(), to.c_str()) != 0) return errno;
    ::unlink(temp.c_str());
    return 0;
}

}  // namespace

void SetSavePointHook(void (*hook)(SavePoint)) { g_savePointHook = hook; }

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::string ParentFolder(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string FileName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LockFileFor(const std::string& path) { return ParentFolder(path) + "/.~lock." + FileName(path) + "#"; }

namespace {

// Parts that a reader parses as XML are named so.
bool IsXmlName(const std::string& name)
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto endsWith = [&](const std::string& tail) {
        return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith(".xml") || endsWith(".rels");
}

// How far one part may unpack by its packed size.
std::uint64_t RatioLimit(const zip_stat_t& st, std::uint64_t packedLimit, const PackageLimits& limits)
{
    const std::uint64_t packed =
        (st.valid & ZIP_STAT_COMP_SIZE) ? std::min<std::uint64_t>(st.comp_size, packedLimit) : packedLimit;
    return packed > (UINT64_MAX - limits.ratioFreeSize) / limits.ratio
               ? UINT64_MAX
               : std::max(limits.ratioFreeSize, packed * limits.ratio);
}

// The problem with a part's unpacked size (declared or reached), or "" when it is within the
// limits; total is the package's size with this part.
std::string SizeProblem(const std::string& name, std::uint64_t size, std::uint64_t ratioLimit, std::uint64_t total,
                        const PackageLimits& limits)
{
    if (IsXmlName(name) && size > limits.xmlPart)
        return "the part " + name + " unpacks to more than " + MegaBytes(limits.xmlPart);
    if (size > ratioLimit)
        return "the part " + name + " unpacks to far more than its packed size (a damaged or hostile package)";
    if (total > limits.total) return "it unpacks to more than " + MegaBytes(limits.total);
    return {};
}

// Unpacks one part as far as its data truly goes, in pieces. A part that declares its size
// (checked against the limits already) is unpacked no further than that; one that does not is
// stopped once it passes a limit. Either stops with a problem text.
std::string UnpackPart(zip_t* archive, zip_uint64_t index, const zip_stat_t& st, std::uint64_t packedLimit,
                       const PackageLimits& limits, std::uint64_t& total, std::string& problem)
{
    const std::string name = st.name;
    const bool declared = (st.valid & ZIP_STAT_SIZE) != 0;
    const std::uint64_t ratioLimit = RatioLimit(st, packedLimit, limits);
    std::string bytes;
    zip_file_t* file = zip_fopen_index(archive, index, 0);
    if (!file) {
        problem = "the part " + name + " cannot be unpacked";
        return bytes;
    }
    if (declared) bytes.reserve(static_cast<std::size_t>(st.size));
    char buffer[65536];
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            problem = "the part " + name + " cannot be unpacked";
            break;
        }
        if (n == 0) break;
        const auto got = static_cast<std::uint64_t>(n);
        if (declared && bytes.size() + got > st.size) {
            problem =
                "the part " + name + " holds more than its directory entry declares (a damaged or hostile package)";
            break;
        }
        problem = SizeProblem(name, bytes.size() + got, ratioLimit, total + got, limits);
        if (!problem.empty()) break;
        total += got;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    zip_fclose(file);
    if (problem.empty() && declared && bytes.size() != st.size) problem = "the part " + name + " cannot be unpacked";
    return bytes;
}

}  // namespace

PackageParts ReadPackage(const std::string& path, const PackageLimits& limits)
{
    const std::string data = ReadWholeFile(path, limits.total);
    PackageParts parts;
    std::unordered_set<std::string> seen;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data.data(), data.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        if (source) zip_source_free(source);
        zip_error_fini(&error);
        throw XlsxError(Quoted(path) + " is not a valid .xlsx workbook: it is no zip package.");
    }
    std::string problem;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count > kMaxParts) problem = "it holds more than " + std::to_string(kMaxParts) + " parts";
    // The directory first: the sizes the parts declare, before any of them is unpacked.
    std::vector<zip_stat_t> entries;
    std::uint64_t declaredTotal = 0;
    for (zip_int64_t i = 0; i < count && problem.empty(); ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
            problem = "an entry cannot be read";
            break;
        }
        entries.push_back(st);
        const std::string name = st.name;
        if (name.empty() || name.back() == '/' || !(st.valid & ZIP_STAT_SIZE)) continue;
        declaredTotal = st.size > UINT64_MAX - declaredTotal ? UINT64_MAX : declaredTotal + st.size;
        problem = SizeProblem(name, st.size, RatioLimit(st, data.size(), limits), declaredTotal, limits);
    }
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < entries.size() && problem.empty(); ++i) {
        const std::string name = entries[i].name;
        if (name.empty() || name.back() == '/') continue;
        std::string bytes = UnpackPart(archive, i, entries[i], data.size(), limits, total, problem);
        if (problem.empty() && seen.insert(name).second) parts.emplace_back(name, std::move(bytes));
    }
    zip_discard(archive);
    zip_error_fini(&error);
    if (!problem.empty()) throw XlsxError(Quoted(path) + " is not a valid .xlsx workbook: " + problem + ".");
    return parts;
}

namespace {

// Where libzip writes a package: straight into a string that has room for every part stored
// (pages it does not fill are never touched), so the package is not copied out of a buffer.
struct PackTarget {
    std::string bytes;    // what was committed
    std::string writing;  // what is being written
    zip_uint64_t readAt = 0;
    zip_uint64_t writeAt = 0;
    std::size_t room = 0;
    zip_error_t error;
};

zip_int64_t PackTargetCall(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    auto* t = static_cast<PackTarget*>(state);
    switch (cmd) {
    case ZIP_SOURCE_OPEN: t->readAt = 0; return 0;
    case ZIP_SOURCE_READ: {
        const zip_uint64_t n =
            std::min<zip_uint64_t>(len, t->bytes.size() - std::min<zip_uint64_t>(t->readAt, t->bytes.size()));
        if (n > 0) std::memcpy(data, t->bytes.data() + t->readAt, n);
        t->readAt += n;
        return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE: return 0;
    case ZIP_SOURCE_SEEK:
    case ZIP_SOURCE_SEEK_WRITE: {
        const bool write = cmd == ZIP_SOURCE_SEEK_WRITE;
        const zip_int64_t at = zip_source_seek_compute_offset(
            write ? t->writeAt : t->readAt, write ? t->writing.size() : t->bytes.size(), data, len, &t->error);
        if (at < 0) return -1;
        (write ? t->writeAt : t->readAt) = static_cast<zip_uint64_t>(at);
        return 0;
    }
    case ZIP_SOURCE_TELL: return static_cast<zip_int64_t>(t->readAt);
    case ZIP_SOURCE_TELL_WRITE: return static_cast<zip_int64_t>(t->writeAt);
    case ZIP_SOURCE_BEGIN_WRITE:
        t->writing.clear();
        t->writing.reserve(t->room);
        t->writeAt = 0;
        return 0;
    case ZIP_SOURCE_WRITE: {
        const auto* from = static_cast<const char*>(data);
        const std::size_t at = static_cast<std::size_t>(t->writeAt);
        const std::size_t n = static_cast<std::size_t>(len);
        if (at > t->writing.size()) t->writing.resize(at, '\0');
        const std::size_t over = std::min(n, t->writing.size() - at);
        std::memcpy(t->writing.data() + at, from, over);
        t->writing.append(from + over, n - over);
        t->writeAt += len;
        return static_cast<zip_int64_t>(len);
    }
    case ZIP_SOURCE_COMMIT_WRITE:
        t->bytes = std::move(t->writing);
        t->writing = std::string();
        return 0;
    case ZIP_SOURCE_ROLLBACK_WRITE: t->writing = std::string(); return 0;
    case ZIP_SOURCE_REMOVE: t->bytes = std::string(); return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = t->bytes.size();
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR: return zip_error_to_data(&t->error, data, len);
    case ZIP_SOURCE_FREE: return 0;
    case ZIP_SOURCE_SUPPORTS: return ZIP_SOURCE_SUPPORTS_WRITABLE;
    default: zip_error_set(&t->error, ZIP_ER_OPNOTSUPP, 0); return -1;
    }
}

}  // namespace

std::string PackParts(const std::vector<std::string>& partOrder,
                      const std::unordered_map<std::string, std::string>& parts)
{
    PackTarget packed;
    zip_error_init(&packed.error);
    // Room for every part stored, with its headers.
    packed.room = 22;
    for (const std::string& name : partOrder) packed.room += parts.at(name).size() + 2 * name.size() + 128;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_function_create(PackTargetCall, &packed, &error);
    zip_t* archive = target ? zip_open_from_source(target, ZIP_TRUNCATE, &error) : nullptr;
    auto fail = [&] {
        zip_error_fini(&error);
        zip_error_fini(&packed.error);
        throw XlsxError("The workbook cannot be packed.");
    };
    if (!archive) {
        if (target) zip_source_free(target);
        fail();
    }
    // The content types come first, as readers expect.
    std::vector<std::string> order = partOrder;
    std::stable_partition(order.begin(), order.end(), [](const std::string& n) { return n == "[Content_Types].xml"; });
    for (const std::string& name : order) {
        const std::string& bytes = parts.at(name);
        zip_source_t* part = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        if (!part || zip_file_add(archive, name.c_str(), part, ZIP_FL_ENC_UTF_8) < 0) {
            if (part) zip_source_free(part);
            zip_discard(archive);
            fail();
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        fail();
    }
    zip_error_fini(&error);
    zip_error_fini(&packed.error);
    if (packed.bytes.empty()) throw XlsxError("The workbook cannot be packed.");
    return std::move(packed.bytes);
}

void WriteFileAtomically(const std::string& requested, const std::string& bytes)
{
    std::string path = requested;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    const std::string folder = ParentFolder(path);
    RequireFolderOfSave(requested, folder);
    struct stat st {};
    mode_t mode = DefaultFileMode();
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw XlsxError("Cannot save " + Quoted(requested) + ": it is a folder.");
        if (::access(path.c_str(), W_OK) != 0)
            throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(errno) + ".");
        mode = st.st_mode & 07777;
    }
    const std::string lock = LockFileFor(path);
    if (::lstat(lock.c_str(), &lst) == 0)
        throw XlsxError("Cannot save " + Quoted(requested) +
                        ": the workbook is open in a desktop spreadsheet (its lock file " + Quoted(lock) +
                        " exists). Close it there, or remove the lock file if no program has it open.");

    RemoveAbandonedTemporaries(folder);
    const std::string target = FileName(path);
    // The temporary file stays locked until it has taken the target's place, so no other save's
    // clean-up removes it; on failure its name (if it has one) goes before its lock does.
    std::string temp;
    int fd = -1;
    auto fail = [&](int err) {
        if (!temp.empty()) ::unlink(temp.c_str());
        ::close(fd);
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(err) + ".");
    };

    // First without a name: the file is whole before it gets one. A new target takes the file's
    // name at once; an old one is replaced through a temporary name, for the moment between
    // naming and renaming. A file that cannot be locked or named here goes (it has no name), and
    // the save is made the named way, which tells what is wrong if that fails too.
    fd = CreateUnnamedTemporary(folder);
    if (fd >= 0) {
        bool named = false;
        if (::flock(fd, LOCK_EX) == 0) {
            if (const int err = FillFile(fd, bytes, mode)) fail(err);
            AtSavePoint(SavePoint::Written);
            const int err = NameOpenFile(fd, path);
            if (err == 0) {
                ::close(fd);
                SyncFolderOfSave(folder);
                return;
            }
            named = err == EEXIST && NameTemporary(fd, folder, target, temp) == 0;
        }
        if (!named) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        fd = CreateLockedTemporary(folder, target, temp);
        if (fd < 0) throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(errno) + ".");
        if (const int err = FillFile(fd, bytes, mode)) fail(err);
        AtSavePoint(SavePoint::Written);
    }
    AtSavePoint(SavePoint::Named);
    if (::rename(temp.c_str(), path.c_str()) != 0) fail(errno);
    ::close(fd);  // the data is on disk (fsync) and in place; closing only gives up the lock
    SyncFolderOfSave(folder);
}

std::string NumberedName(const std::string& path, int number)
{
    if (number <= 1) return path;
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string suffix = "-" + std::to_string(number);
    return hasExtension ? path.substr(0, dot) + suffix + path.substr(dot) : path + suffix;
}

std::string WriteNewFile(const std::string& requested, const std::string& bytes)
{
    const std::string folder = ParentFolder(requested);
    RequireFolderOfSave(requested, folder);
    const mode_t mode = DefaultFileMode();
    RemoveAbandonedTemporaries(folder);

    // A name is taken by any entry of that name (a link too, wherever it leads) and by a desktop
    // spreadsheet's lock file for it. Whether a free name is had is decided by the step that gives
    // the finished file its name, which fails when the name exists: of two saves racing for one
    // name, one gets it and the other goes on to the next.
    const auto lockedByDesktop = [](const std::string& name) {
        struct stat lock {};
        return ::lstat(LockFileFor(name).c_str(), &lock) == 0;
    };
    std::string temp;
    int fd = -1;
    auto fail = [&](int err) {
        if (!temp.empty()) ::unlink(temp.c_str());
        ::close(fd);
        if (err == EEXIST) {
            throw XlsxError("Cannot save " + Quoted(requested) + ": it and every name from " +
                            Quoted(NumberedName(requested, 2)) + " to " +
                            Quoted(NumberedName(requested, kMaxNumberedNames)) + " are taken.");
        }
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(err) + ".");
    };
    const auto takeFreeName = [&](auto&& name) -> std::string {
        for (int number = 1; number <= kMaxNumberedNames; ++number) {
            const std::string candidate = NumberedName(requested, number);
            if (lockedByDesktop(candidate)) continue;
            const int err = name(candidate);
            if (err == 0) return candidate;
            if (err != EEXIST) {
                errno = err;
                return {};
            }
        }
        errno = EEXIST;
        return {};
    };

    // As WriteFileAtomically: whole and on disk before it has a name, without a name where the
    // file system allows.
    fd = CreateUnnamedTemporary(folder);
    if (fd >= 0) {
        if (::flock(fd, LOCK_EX) == 0) {
            if (const int err = FillFile(fd, bytes, mode)) fail(err);
            AtSavePoint(SavePoint::Written);
            const std::string saved = takeFreeName([fd](const std::string& name) { return NameOpenFile(fd, name); });
            if (!saved.empty()) {
                ::close(fd);
                SyncFolderOfSave(folder);
                return saved;
            }
            if (errno == EEXIST) fail(EEXIST);
        }
        // Cannot be named so: the named way, which tells what is wrong if that fails too.
        ::close(fd);
    }
    fd = CreateLockedTemporary(folder, FileName(requested), temp);
    if (fd < 0) throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(errno) + ".");
    if (const int err = FillFile(fd, bytes, mode)) fail(err);
    AtSavePoint(SavePoint::Written);
    AtSavePoint(SavePoint::Named);
    const std::string saved = takeFreeName([&temp](const std::string& name) { return MoveToNewName(temp, name); });
    if (saved.empty()) fail(errno);
    ::close(fd);
    SyncFolderOfSave(folder);
    return saved;
}

}  // namespace spreadsheet
