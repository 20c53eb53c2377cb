#include "sheet/Zip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sheet::detail {

ZipLimits& zipLimits() {
    static ZipLimits limits;
    return limits;
}

WriteFault& writeFaultForTesting() {
    static WriteFault fault = WriteFault::None;
    return fault;
}

std::function<void(const std::string&)>& fileDoneForTesting() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

std::string ToLowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

std::string BaseName(const std::string& path) {
    auto p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string DirName(const std::string& path) {
    auto p = path.find_last_of('/');
    if (p == std::string::npos) return ".";
    if (p == 0) return "/";
    return path.substr(0, p);
}

// ---------------------------------------------------------------------------------------------
// Reader

ZipReader::~ZipReader() { close(); }

void ZipReader::close() {
    if (za_) zip_discard(za_);
    za_ = nullptr;
    names_.clear();
    lowerNames_.clear();
}

bool ZipReader::open(std::shared_ptr<const std::string> bytes, ZipError* err) {
    close();
    bytes_ = std::move(bytes);
    totalRead_ = 0;
    if (bytes_->empty()) {  // libzip takes an empty buffer for an empty archive
        *err = {ZipError::NotZip, {}};
        return false;
    }
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* src = zip_source_buffer_create(bytes_->data(), bytes_->size(), 0, &ze);
    if (!src) {
        zip_error_fini(&ze);
        *err = {ZipError::NotZip, {}};
        return false;
    }
    // No ZIP_CHECKCONS: it refuses files from sloppy producers that the spreadsheet program
    // opens; what inflates is counted and capped in read() instead.
    za_ = zip_open_from_source(src, ZIP_RDONLY, &ze);
    zip_error_fini(&ze);
    if (!za_) {
        zip_source_free(src);
        *err = {ZipError::NotZip, {}};
        return false;
    }
    zip_int64_t n = zip_get_num_entries(za_, 0);
    if (n < 0 || n > zipLimits().maxEntries) {
        close();
        *err = {ZipError::TooManyEntries, {}};
        return false;
    }
    names_.reserve(n);
    lowerNames_.reserve(n);
    for (zip_int64_t i = 0; i < n; ++i) {
        const char* nm = zip_get_name(za_, i, ZIP_FL_ENC_RAW);
        names_.emplace_back(nm ? nm : "");
        lowerNames_.push_back(ToLowerAscii(names_.back()));
    }
    return true;
}

void ZipReader::swap(ZipReader& other) noexcept {
    std::swap(bytes_, other.bytes_);
    std::swap(za_, other.za_);
    std::swap(names_, other.names_);
    std::swap(lowerNames_, other.lowerNames_);
    std::swap(totalRead_, other.totalRead_);
}

int64_t ZipReader::find(std::string_view name) const {
    std::string key = ToLowerAscii(name);
    for (size_t i = 0; i < lowerNames_.size(); ++i)
        if (lowerNames_[i] == key) return static_cast<int64_t>(i);
    return -1;
}

bool ZipReader::read(int64_t index, std::string* out, ZipError* err) {
    const ZipLimits& lim = zipLimits();
    out->clear();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za_, index, 0, &st) != 0) {
        *err = {ZipError::Corrupt, names_[index]};
        return false;
    }
    uint64_t compressed = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    zip_file_t* f = zip_fopen_index(za_, index, 0);
    if (!f) {
        *err = {ZipError::Corrupt, names_[index]};
        return false;
    }
    // The sizes in the headers are the attacker's to choose: reserve modestly and count what
    // actually comes out of the inflater.
    if (st.valid & ZIP_STAT_SIZE) out->reserve(std::min<uint64_t>(st.size, 64u << 20));
    char buf[65536];
    uint64_t produced = 0;
    bool ok = true;
    for (;;) {
        zip_int64_t got = zip_fread(f, buf, sizeof buf);
        if (got < 0) {
            *err = {ZipError::Corrupt, names_[index]};
            ok = false;
            break;
        }
        if (got == 0) break;
        produced += static_cast<uint64_t>(got);
        if (produced > lim.maxEntryBytes || totalRead_ + produced > lim.maxTotalBytes) {
            *err = {ZipError::TooLarge, names_[index]};
            ok = false;
            break;
        }
        if (produced > lim.ratioFloor &&
            static_cast<double>(produced) >
                lim.maxRatio * static_cast<double>(std::max<uint64_t>(compressed, 1))) {
            *err = {ZipError::Bomb, names_[index]};
            ok = false;
            break;
        }
        out->append(buf, static_cast<size_t>(got));
    }
    zip_fclose(f);
    if (!ok) {
        out->clear();
        out->shrink_to_fit();
        return false;
    }
    totalRead_ += produced;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Writer

ZipWriter::ZipWriter() {
    zip_error_t ze;
    zip_error_init(&ze);
    src_ = zip_source_buffer_create(nullptr, 0, 0, &ze);
    if (src_) {
        za_ = zip_open_from_source(src_, ZIP_CREATE | ZIP_TRUNCATE, &ze);
        if (za_)
            zip_source_keep(src_);  // the archive's bytes are read back after zip_close
        else
            error_ = zip_error_strerror(&ze);
    } else {
        error_ = zip_error_strerror(&ze);
    }
    zip_error_fini(&ze);
}

ZipWriter::~ZipWriter() {
    if (za_) zip_discard(za_);
    if (src_) zip_source_free(src_);
}

bool ZipWriter::copyRaw(const ZipReader& from, int64_t index) {
    if (!za_) return false;
    const std::string& name = from.name(index);
    if (!name.empty() && name.back() == '/') {
        if (zip_dir_add(za_, name.c_str(), ZIP_FL_ENC_GUESS) < 0) {
            error_ = zip_strerror(za_);
            return false;
        }
        return true;
    }
    // start 0 and length -1 make libzip hand over the stored (still compressed) bytes.
    zip_source_t* s = zip_source_zip(za_, from.handle(), index, 0, 0, -1);
    if (!s) {
        error_ = zip_strerror(za_);
        return false;
    }
    if (zip_file_add(za_, name.c_str(), s, ZIP_FL_ENC_GUESS) < 0) {
        zip_source_free(s);
        error_ = zip_strerror(za_);
        return false;
    }
    return true;
}

bool ZipWriter::add(const std::string& name, std::string data, int level) {
    if (!za_) return false;
    buffers_.push_back(std::make_unique<std::string>(std::move(data)));
    const std::string& buf = *buffers_.back();
    zip_source_t* s = zip_source_buffer(za_, buf.data(), buf.size(), 0);
    if (!s) {
        error_ = zip_strerror(za_);
        return false;
    }
    zip_int64_t idx = zip_file_add(za_, name.c_str(), s, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (idx < 0) {
        zip_source_free(s);
        error_ = zip_strerror(za_);
        return false;
    }
    if (zip_set_file_compression(za_, idx, level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 static_cast<zip_uint32_t>(level)) != 0) {
        error_ = zip_strerror(za_);
        return false;
    }
    return true;
}

bool ZipWriter::finish(std::string* out) {
    if (!za_) return false;
    if (zip_close(za_) != 0) {
        error_ = zip_strerror(za_);
        return false;
    }
    za_ = nullptr;
    buffers_.clear();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_stat(src_, &st) != 0 || zip_source_open(src_) != 0) {
        error_ = "cannot read the new archive";
        return false;
    }
    out->resize(st.size);
    zip_int64_t got = zip_source_read(src_, out->data(), st.size);
    zip_source_close(src_);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) {
        error_ = "short read of the new archive";
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Atomic replacement of a file

namespace {

void SyncFolder(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data, bool noReplace,
                         int* systemError, struct ::stat* written) {
    const std::string dir = DirName(path);
    std::string tmp = dir + "/." + BaseName(path) + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        *systemError = errno;
        return false;
    }
    auto fail = [&](int e) {
        if (fd >= 0) ::close(fd);
        ::unlink(tmp.c_str());
        *systemError = e;
        return false;
    };

    // mkstemp makes the file private; give it the permissions the replaced file had.
    struct stat old;
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }

    size_t limit = data.size();
    if (writeFaultForTesting() == WriteFault::DuringWrite) limit = data.size() / 2;
    size_t done = 0;
    while (done < limit) {
        ssize_t n = ::write(fd, data.data() + done, limit - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (writeFaultForTesting() == WriteFault::DuringWrite) return fail(ENOSPC);
    if (::fsync(fd) != 0) return fail(errno);
    // The identity comes from the descriptor itself: a name looked up after the rename could
    // already be another program's file.
    if (written && ::fstat(fd, written) != 0) return fail(errno);
    if (::close(fd) != 0) {
        fd = -1;
        return fail(errno);
    }
    fd = -1;
    if (writeFaultForTesting() == WriteFault::AfterTempWritten) return fail(EIO);

    if (noReplace) {
        // link() refuses to replace an existing file, which rename() would do silently.
        if (::link(tmp.c_str(), path.c_str()) != 0) {
            int e = errno;
            if (e == EEXIST) return fail(e);
            // Some file systems have no hard links; check and rename instead.
            struct stat st;
            if (::stat(path.c_str(), &st) == 0) return fail(EEXIST);
            if (::rename(tmp.c_str(), path.c_str()) != 0) return fail(errno);
        } else {
            ::unlink(tmp.c_str());
        }
    } else if (::rename(tmp.c_str(), path.c_str()) != 0) {
        return fail(errno);
    }
    if (fileDoneForTesting()) fileDoneForTesting()(path);
    SyncFolder(dir);
    return true;
}

}  // namespace sheet::detail
