#pragma once
// Zip access for the workbook layer: a reader over the file's bytes held in memory that refuses
// archives built to exhaust memory, a writer that builds a new archive in memory (copying
// unchanged entries without inflating them), and the crash-safe replacement of a file on disk.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct zip;
struct zip_source;
struct stat;

namespace sheet::detail {

// Bounds on what a workbook may unpack to. The defaults are far above any real race workbook;
// tests lower them to exercise the checks with small files.
struct ZipLimits {
    uint64_t maxFileBytes = 512ull << 20;
    int64_t maxEntries = 10000;
    uint64_t maxEntryBytes = 256ull << 20;
    uint64_t maxTotalBytes = 1024ull << 20;
    // Deflate cannot shrink real XML by much more than 100 to 1; a larger ratio on an entry that
    // grows past ratioFloor bytes is a bomb.
    double maxRatio = 500;
    uint64_t ratioFloor = 1ull << 20;
};
ZipLimits& zipLimits();

// Why a read failed; the caller turns it into a fault naming the file.
struct ZipError {
    enum Kind { None, NotZip, TooManyEntries, Corrupt, TooLarge, Bomb } kind = None;
    std::string entry;
};

class ZipReader {
  public:
    ZipReader() = default;
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    bool open(std::shared_ptr<const std::string> bytes, ZipError* err);
    void swap(ZipReader& other) noexcept;
    int64_t count() const { return static_cast<int64_t>(names_.size()); }
    const std::string& name(int64_t i) const { return names_[i]; }
    // Index of an entry by name, compared without case as the package rules say; -1 if absent.
    int64_t find(std::string_view name) const;
    bool read(int64_t index, std::string* out, ZipError* err);
    zip* handle() const { return za_; }
    const std::shared_ptr<const std::string>& bytes() const { return bytes_; }

  private:
    void close();
    std::shared_ptr<const std::string> bytes_;
    zip* za_ = nullptr;
    std::vector<std::string> names_;
    std::vector<std::string> lowerNames_;
    uint64_t totalRead_ = 0;
};

// The deflated form of one large part, kept from one save to the next in pieces that are each
// deflated on their own and end on a byte boundary, so that the pieces join into one valid
// deflate stream. A save mostly changes a row or two of a big worksheet: the pieces whose text
// is unchanged at the start and at the end of the part are reused as they are, and only the
// stretch between them is deflated again. What comes out is a plain deflated entry that every
// zip reader inflates; it is a little larger than one deflated in a single run, since no piece
// refers back into the one before it.
class PieceDeflater {
  public:
    // Makes `text` the part's content, deflating again only what differs from the last call.
    // False when zlib fails.
    bool update(std::string text, int level);
    // The whole raw deflate stream, the length and the CRC-32 of the text.
    std::string deflated() const;
    uint64_t size() const { return text_.size(); }
    uint32_t crc() const;

  private:
    struct Piece {
        size_t length = 0;
        std::string deflated;  // ends with an empty stored block: byte-aligned, not final
        uint32_t crc = 0;
    };
    std::string text_;  // the text the pieces hold, to find what changed
    std::vector<Piece> pieces_;
    int level_ = -1;
};

// Builds a zip archive in memory.
class ZipWriter {
  public:
    ZipWriter();
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Copies entry `index` of `from` as it is stored, without inflating it.
    bool copyRaw(const ZipReader& from, int64_t index);
    // Adds an entry with new content, deflated at `level` (1 = fastest).
    bool add(const std::string& name, std::string data, int level = 1);
    // Adds an entry whose content is already deflated.
    bool addDeflated(const std::string& name, const PieceDeflater& part);
    bool finish(std::string* out);
    const std::string& error() const { return error_; }

  private:
    zip_source* src_ = nullptr;
    zip* za_ = nullptr;
    struct Deflated;
    std::vector<std::unique_ptr<std::string>> buffers_;  // must outlive the final close
    std::vector<std::unique_ptr<Deflated>> deflated_;    // likewise
    std::string error_;
};

// The file that `path` names: a symbolic link is followed, link after link, to a name that is
// no link (a dangling link ends at the name it points to, which need not exist). A relative link
// counts from the folder the link lies in, as the system reads it; links among the folders on
// the way are left as they are. False with ELOOP (or readlink's errno) in *systemError.
bool FollowLinks(const std::string& path, std::string* file, int* systemError);

// Writes `data` to `path` so that the file is either the old one or the new one, never a mix:
// a temporary file in the same folder, flushed, renamed over the target, folder flushed. When
// `path` is a symbolic link, the file it points to is written (FollowLinks) and the link stays.
// `noReplace` refuses to replace an existing file (the failure's error is then EEXIST). On
// failure *systemError is the errno of the step that failed. `written`, when given, receives the
// identity of the new file, taken from its descriptor before the rename. `fault` is the fault a
// test asked this one write to meet; it is passed in rather than kept anywhere, so that it never
// reaches a file written meanwhile by another thread (the live page).
enum class WriteFault { None, DuringWrite, AfterTempWritten };
bool WriteFileAtomically(const std::string& path, std::string_view data, bool noReplace,
                         int* systemError, struct ::stat* written = nullptr,
                         WriteFault fault = WriteFault::None);

// Called with the file's path right after a file was read whole or renamed into place, for
// tests that play another program saving in that instant.
std::function<void(const std::string&)>& fileDoneForTesting();

std::string BaseName(const std::string& path);
std::string DirName(const std::string& path);
std::string ToLowerAscii(std::string_view s);

}  // namespace sheet::detail
