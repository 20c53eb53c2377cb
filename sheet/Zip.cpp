#include "sheet/Zip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace sheet::detail {

ZipLimits& zipLimits() {
    static ZipLimits limits;
    return limits;
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
// A large part deflated in pieces

namespace {

// Long enough that the restart of each piece costs little in size, short enough that deflating
// the piece of a changed row again is quick.
constexpr size_t kPieceBytes = 32 << 10;

}  // namespace

bool PieceDeflater::update(std::string text, int level) {
    if (level != level_) {
        pieces_.clear();
        text_.clear();
    }
    // The pieces whose text stands unchanged at the start of the part...
    size_t first = 0;
    size_t front = 0;
    while (first < pieces_.size() && front + pieces_[first].length <= text.size() &&
           std::memcmp(text_.data() + front, text.data() + front, pieces_[first].length) == 0)
        front += pieces_[first++].length;
    // ...and at its end, short of those at the start.
    size_t last = pieces_.size();  // one past the last piece deflated again
    size_t oldBack = text_.size();
    size_t newBack = text.size();
    while (last > first) {
        const size_t length = pieces_[last - 1].length;
        if (length > newBack - front || std::memcmp(text_.data() + oldBack - length,
                                                    text.data() + newBack - length, length) != 0)
            break;
        oldBack -= length;
        newBack -= length;
        --last;
    }

    // The stretch between them, deflated again in pieces of about equal length. A sync flush
    // ends each piece on a byte boundary with nothing left pending.
    const size_t changed = newBack - front;
    const size_t count = (changed + kPieceBytes - 1) / kPieceBytes;
    std::vector<Piece> fresh(count);
    if (count > 0) {
        z_stream z{};
        if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
        bool ok = true;
        size_t at = front;
        for (size_t n = 0; n < count && ok; ++n) {
            Piece& p = fresh[n];
            p.length = changed / count + (n < changed % count ? 1 : 0);
            const auto* in = reinterpret_cast<const Bytef*>(text.data() + at);
            p.crc = static_cast<uint32_t>(crc32_z(0, in, p.length));
            // The flush marker and the block headers need a few bytes beyond the bound.
            p.deflated.resize(deflateBound(&z, static_cast<uLong>(p.length)) + 64);
            z.next_in = const_cast<Bytef*>(in);
            z.avail_in = static_cast<uInt>(p.length);
            z.next_out = reinterpret_cast<Bytef*>(p.deflated.data());
            z.avail_out = static_cast<uInt>(p.deflated.size());
            ok = deflate(&z, Z_SYNC_FLUSH) == Z_OK && z.avail_in == 0 && z.avail_out > 0;
            p.deflated.resize(p.deflated.size() - z.avail_out);
            ok = ok && deflateReset(&z) == Z_OK;
            at += p.length;
        }
        deflateEnd(&z);
        if (!ok) {
            pieces_.clear();
            text_.clear();
            return false;
        }
    }
    pieces_.erase(pieces_.begin() + static_cast<ptrdiff_t>(first),
                  pieces_.begin() + static_cast<ptrdiff_t>(last));
    pieces_.insert(pieces_.begin() + static_cast<ptrdiff_t>(first),
                   std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    text_ = std::move(text);
    level_ = level;
    return true;
}

std::string PieceDeflater::deflated() const {
    size_t total = 2;
    for (const Piece& p : pieces_) total += p.deflated.size();
    std::string out;
    out.reserve(total);
    for (const Piece& p : pieces_) out += p.deflated;
    // The final block: an empty block of fixed codes, which ends the stream.
    out += std::string_view("\x03\x00", 2);
    return out;
}

uint32_t PieceDeflater::crc() const {
    uLong crc = crc32_z(0, nullptr, 0);
    for (const Piece& p : pieces_) crc = crc32_combine(crc, p.crc, static_cast<z_off_t>(p.length));
    return static_cast<uint32_t>(crc);
}

// ---------------------------------------------------------------------------------------------
// Writer

// An entry deflated beforehand: libzip takes its bytes as they are when the source says how it
// is compressed, with the length and the CRC of what it inflates to.
struct ZipWriter::Deflated {
    std::string bytes;
    uint64_t size = 0;
    uint32_t crc = 0;
    size_t read = 0;

    static zip_int64_t Callback(void* user, void* data, zip_uint64_t length,
                                zip_source_cmd_t command) {
        auto* self = static_cast<Deflated*>(user);
        switch (command) {
            case ZIP_SOURCE_OPEN:
                self->read = 0;
                return 0;
            case ZIP_SOURCE_READ: {
                const size_t n = std::min<size_t>(length, self->bytes.size() - self->read);
                std::memcpy(data, self->bytes.data() + self->read, n);
                self->read += n;
                return static_cast<zip_int64_t>(n);
            }
            case ZIP_SOURCE_CLOSE:
            case ZIP_SOURCE_FREE:
                return 0;
            case ZIP_SOURCE_STAT: {
                if (length < sizeof(zip_stat_t)) return -1;
                auto* st = static_cast<zip_stat_t*>(data);
                zip_stat_init(st);
                st->valid =
                    ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
                st->size = self->size;
                st->comp_size = self->bytes.size();
                st->comp_method = ZIP_CM_DEFLATE;
                st->crc = self->crc;
                return sizeof(zip_stat_t);
            }
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(nullptr, data, length);
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                      ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                      ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
            default:
                return -1;
        }
    }
};

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

bool ZipWriter::addDeflated(const std::string& name, const PieceDeflater& part) {
    if (!za_) return false;
    auto entry = std::make_unique<Deflated>();
    entry->bytes = part.deflated();
    entry->size = part.size();
    entry->crc = part.crc();
    zip_source_t* s = zip_source_function(za_, &Deflated::Callback, entry.get());
    if (!s) {
        error_ = zip_strerror(za_);
        return false;
    }
    deflated_.push_back(std::move(entry));
    // The entry keeps the default method, so libzip copies the bytes instead of compressing.
    if (zip_file_add(za_, name.c_str(), s, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
        zip_source_free(s);
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
    deflated_.clear();
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

// As many links in a row as the system itself follows before it answers ELOOP.
constexpr int kMaxLinks = 40;

void SyncFolder(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The temporary file's name beside `file`: hidden, and within the longest name the folder
// takes however long the file's own name is, its name then cut short at a whole character.
std::string TemporaryName(const std::string& dir, const std::string& file) {
    constexpr std::string_view kTail = ".tmp-XXXXXX";
    long longest = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    if (longest <= 0) longest = NAME_MAX;
    const size_t room = static_cast<size_t>(std::max(0L, longest - 1 - long(kTail.size())));
    std::string stem = BaseName(file);  // after the dot
    if (stem.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
        stem.resize(cut);
    }
    return dir + "/." + stem + std::string(kTail);
}

}  // namespace

bool FollowLinks(const std::string& path, std::string* file, int* systemError) {
    *file = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(file->c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        if (hops == kMaxLinks) {
            *systemError = ELOOP;
            return false;
        }
        std::string to(PATH_MAX, '\0');
        const ssize_t n = ::readlink(file->c_str(), to.data(), to.size());
        if (n <= 0) {
            *systemError = n < 0 ? errno : ENOENT;
            return false;
        }
        to.resize(static_cast<size_t>(n));
        *file = to.front() == '/' ? to : DirName(*file) + "/" + to;
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view data, bool noReplace,
                         int* systemError, struct ::stat* written, WriteFault fault) {
    // A link stays a link: the file it points to is the one replaced.
    std::string target;
    if (!FollowLinks(path, &target, systemError)) return false;
    const std::string dir = DirName(target);
    std::string tmp = TemporaryName(dir, target);
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
    if (::stat(target.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }

    size_t limit = data.size();
    if (fault == WriteFault::DuringWrite) limit = data.size() / 2;
    size_t done = 0;
    while (done < limit) {
        ssize_t n = ::write(fd, data.data() + done, limit - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (fault == WriteFault::DuringWrite) return fail(ENOSPC);
    if (::fsync(fd) != 0) return fail(errno);
    // The identity comes from the descriptor itself: a name looked up after the rename could
    // already be another program's file.
    if (written && ::fstat(fd, written) != 0) return fail(errno);
    if (::close(fd) != 0) {
        fd = -1;
        return fail(errno);
    }
    fd = -1;
    if (fault == WriteFault::AfterTempWritten) return fail(EIO);

    if (noReplace) {
        // link() refuses to replace an existing file, which rename() would do silently.
        if (::link(tmp.c_str(), target.c_str()) != 0) {
            int e = errno;
            if (e == EEXIST) return fail(e);
            // Some file systems have no hard links; check and rename instead.
            struct stat st;
            if (::lstat(target.c_str(), &st) == 0) return fail(EEXIST);
            if (::rename(tmp.c_str(), target.c_str()) != 0) return fail(errno);
        } else {
            ::unlink(tmp.c_str());
        }
    } else if (::rename(tmp.c_str(), target.c_str()) != 0) {
        return fail(errno);
    }
    if (fileDoneForTesting()) fileDoneForTesting()(path);
    SyncFolder(dir);
    return true;
}

}  // namespace sheet::detail
