#include "spreadsheet/package_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include "spreadsheet/workbook.h"

namespace spreadsheet {

namespace {

constexpr zip_uint64_t kMaxPartSize = 512ull * 1024 * 1024;

std::string ErrnoText(int err)
{
    switch (err) {
    case EACCES:
    case EPERM: return "permission denied";
    case ENOENT: return "it does not exist";
    case ENOSPC: return "the disk is full";
    case EROFS: return "the file system is read-only";
    case EDQUOT: return "the disk quota is exhausted";
    default: return std::strerror(err);
    }
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadWholeFile(const std::string& path)
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw XlsxError("Cannot open " + Quoted(path) + ": " + ErrnoText(err) + ".");
    }
    std::string data;
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

}  // namespace

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

std::string LockFileFor(const std::string& path)
{
    return ParentFolder(path) + "/.~lock." + FileName(path) + "#";
}

PackageParts ReadPackage(const std::string& path)
{
    const std::string data = ReadWholeFile(path);
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
    for (zip_int64_t i = 0; i < count && problem.empty(); ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
            problem = "an entry cannot be read";
            break;
        }
        const std::string name = st.name;
        if (name.empty() || name.back() == '/') continue;
        if (st.size > kMaxPartSize) {
            problem = "the part " + name + " is too large";
            break;
        }
        std::string bytes(static_cast<std::size_t>(st.size), '\0');
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (!file || zip_fread(file, bytes.data(), st.size) != static_cast<zip_int64_t>(st.size)) {
            problem = "the part " + name + " cannot be unpacked";
        }
        if (file) zip_fclose(file);
        if (seen.insert(name).second) parts.emplace_back(name, std::move(bytes));
    }
    zip_discard(archive);
    zip_error_fini(&error);
    if (!problem.empty()) throw XlsxError(Quoted(path) + " is not a valid .xlsx workbook: " + problem + ".");
    return parts;
}

std::string PackParts(const std::vector<std::string>& partOrder,
                      const std::unordered_map<std::string, std::string>& parts)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = target ? zip_open_from_source(target, ZIP_TRUNCATE, &error) : nullptr;
    if (!archive) {
        if (target) zip_source_free(target);
        zip_error_fini(&error);
        throw XlsxError("The workbook cannot be packed.");
    }
    zip_source_keep(target);
    bool ok = true;
    // The content types come first, as readers expect.
    std::vector<std::string> order = partOrder;
    std::stable_partition(order.begin(), order.end(), [](const std::string& n) { return n == "[Content_Types].xml"; });
    for (const std::string& name : order) {
        const std::string& bytes = parts.at(name);
        zip_source_t* part = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        if (!part || zip_file_add(archive, name.c_str(), part, ZIP_FL_ENC_UTF_8) < 0) {
            if (part) zip_source_free(part);
            ok = false;
            break;
        }
    }
    if (!ok || zip_close(archive) != 0) {
        zip_discard(archive);
        zip_source_free(target);
        zip_error_fini(&error);
        throw XlsxError("The workbook cannot be packed.");
    }
    std::string out;
    if (zip_source_open(target) == 0) {
        zip_source_seek(target, 0, SEEK_END);
        const zip_int64_t size = zip_source_tell(target);
        zip_source_seek(target, 0, SEEK_SET);
        if (size > 0) {
            out.resize(static_cast<std::size_t>(size));
            if (zip_source_read(target, out.data(), static_cast<zip_uint64_t>(size)) != size) out.clear();
        }
        zip_source_close(target);
    }
    zip_source_free(target);
    zip_error_fini(&error);
    if (out.empty()) throw XlsxError("The workbook cannot be packed.");
    return out;
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
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw XlsxError("Cannot save " + Quoted(requested) + ": the folder " + Quoted(folder) + " does not exist.");
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

    std::string temp = folder + "/." + FileName(path) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(errno) + ".");
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(err) + ".");
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(err) + ".");
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(err) + ".");
    }
}
}  // namespace spreadsheet
